// SPDX-License-Identifier: MIT
// A guard flag held for a scope: set on entry, given back its value on exit, also when a step throws.
#pragma once

namespace turnlet {

class ScopedFlag {
  public:
    explicit ScopedFlag(bool& flag) : flag_(flag), before_(flag) { flag_ = true; }
    ~ScopedFlag() { flag_ = before_; }
    ScopedFlag(const ScopedFlag&) = delete;
    ScopedFlag& operator=(const ScopedFlag&) = delete;

  private:
    bool& flag_;
    bool before_;
};

}  // namespace turnlet
