# Counting checks for the shell tests: `check NAME COMMAND...` runs COMMAND and counts it passed or
# failed (naming the failure); the test ends with its own summary of $passed and $failed.
passed=0
failed=0
check() {  # check NAME CONDITION...
    local name="$1"
    shift
    if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $name"; fi
}
