// SPDX-License-Identifier: MIT
// What the first/last and tuned-frame workers are handed and hand back; their jobs live in the
// Qt-free folders firstlast/ and tuning/.
#pragma once

#include "firstlast/show_first_last.h"
#include "tuning/tune_picture.h"
