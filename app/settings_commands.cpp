// SPDX-License-Identifier: MIT
// The settings file and the recent projects' menu entries.
#include "main_window.h"

namespace turnlet {

// Reading and writing the settings file and the recent list come with the settings commands; until
// then the defaults of a first start stand.
void TForm2::ReadINI1Click() {}
void TForm2::SaveINI1Click() {}
void TForm2::Showlast1Click() {}
void TForm2::Addlast1Click() {}
void TForm2::Clearlast1Click() {}

}  // namespace turnlet
