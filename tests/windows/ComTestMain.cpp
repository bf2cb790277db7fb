// GoogleTest's main for the Windows programs, with COM started for the whole process first: the
// filters create the system's standard memory allocator through CoCreateInstance.
#include <gtest/gtest.h>
#include <objbase.h>

int main(int argc, char** argv) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    if (SUCCEEDED(com)) CoUninitialize();
    return result;
}
