// Entry point of the ZANBIT32 client test programs: one apartment thread,
// the component's path from --dll=<path>.
#include <gtest/gtest.h>

#include "zb_test_support.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    zbtest::ParseCommandLine(argc, argv);
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    const int rc = RUN_ALL_TESTS();
    CoUninitialize();
    return rc;
}
