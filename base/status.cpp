// SPDX-License-Identifier: MIT
// Outcome of an operation that can fail.
#include "base/status.h"

namespace turnlet {

std::string Status::message() const {
    switch (code_) {
        case Code::Ok:
            return "OK";
        case Code::WrongFileType:
            return "Wrong file type!";
        case Code::Error:
            break;
    }
    if (file_.empty()) return reason_;
    return file_ + ": " + reason_;
}

}  // namespace turnlet
