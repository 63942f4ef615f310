#!/usr/bin/env bash
# Builds the Linux test suite in Debug (assertions on) under sanitizers and
# runs it: all of it under AddressSanitizer and UndefinedBehaviorSanitizer,
# and the tests of the run's thread and the engine under ThreadSanitizer.
# Needs an X server (the window tests); the test command runs it in one.
set -uo pipefail
cd "$(dirname "$0")/.."

build() {
    cmake -S . -B "$1" -DCMAKE_BUILD_TYPE=Debug -DTSR_SANITIZE="$2" -DTSR_WARNINGS_AS_ERRORS="${TSR_WARNINGS_AS_ERRORS:-OFF}" >/dev/null &&
    cmake --build "$1" -j"$(nproc)" --target tsr_tests tsr_installer
}

status=0

echo "== Debug suite under AddressSanitizer and UndefinedBehaviorSanitizer"
if build build-asan address,undefined; then
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
    LSAN_OPTIONS=suppressions=$PWD/tests/sanitizers/leaks.supp:print_suppressions=0 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        ./build-asan/tests/tsr_tests --gtest_brief=1 || status=1
else
    status=1
fi

echo "== The run's thread and the engine under ThreadSanitizer"
if build build-tsan thread; then
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/sanitizers/threads.supp \
        ./build-tsan/tests/tsr_tests --gtest_brief=1 \
        --gtest_filter='Run.*:Interruption.*:Installer*:SegmentInflater.*:Redirection*:Deployment.*:Accessibility.AWait*' || status=1
else
    status=1
fi

exit $status
