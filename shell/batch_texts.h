// SPDX-License-Identifier: MIT
// The batch's words: why a product failed, and its state, in the interface language.
#pragma once

#include <string>
#include <vector>

#include "batch/batch_record.h"
#include "shell/catalogue.h"

namespace turnlet {

// A failed product's reason, its details in their places.
std::string BatchFailureText(BatchFailure failure, const std::vector<std::string>& details, Language language);

// "Done", "Done earlier", "Failed", "Stopped" for the batch dialog's list.
std::string ProductStateText(ProductState state, Language language);

}  // namespace turnlet
