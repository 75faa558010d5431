// SPDX-License-Identifier: MIT
// Outcome of an operation that can fail, with the file concerned and the reason.
#pragma once

#include <string>
#include <utility>

namespace turnlet {

class Status {
  public:
    enum class Code { Ok, WrongFileType, Error };

    Status() = default;
    static Status Ok() { return Status(); }
    // The file's extension names no type we read or write; callers show "Wrong file type!".
    static Status WrongFileType(std::string file) { return Status(Code::WrongFileType, std::move(file), {}); }
    static Status Error(std::string file, std::string reason) {
        return Status(Code::Error, std::move(file), std::move(reason));
    }

    bool ok() const { return code_ == Code::Ok; }
    Code code() const { return code_; }
    const std::string& file() const { return file_; }
    const std::string& reason() const { return reason_; }
    // A sentence for the user: "<file>: <reason>" (or the reason alone when no file is involved).
    std::string message() const;

  private:
    Status(Code code, std::string file, std::string reason)
        : code_(code), file_(std::move(file)), reason_(std::move(reason)) {}

    Code code_ = Code::Ok;
    std::string file_;
    std::string reason_;
};

}  // namespace turnlet
