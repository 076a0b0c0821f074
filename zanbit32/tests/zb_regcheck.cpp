// Checks the registry of the Wine prefix after regsvr32 has registered or
// unregistered ZANBIT32, and doubles as the probe that this build's programs
// start at all.
//   zb_regcheck --probe
//   zb_regcheck --expect=registered --dll=<path>
//   zb_regcheck --expect=unregistered --dll=<path>
#include <cstdio>
#include <string>

#include "zb_test_support.h"

using namespace zbtest;

int main(int argc, char** argv) {
    ParseCommandLine(argc, argv);
    std::string expect;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--probe") {
            std::printf("ZBPROBE OK (%u-bit)\n", static_cast<unsigned>(sizeof(void*) * 8));
            return 0;
        }
        if (a.rfind("--expect=", 0) == 0) expect = a.substr(9);
    }
    if (DllPath().empty() || (expect != "registered" && expect != "unregistered")) {
        std::fprintf(stderr, "usage: zb_regcheck --probe | --expect=registered|unregistered --dll=<path>\n");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::vector<std::string> problems;
    if (expect == "registered") {
        problems = RegistrationProblems(DllPath());
        // The registered class is creatable by ProgID and by class id.
        CLSID clsid{};
        if (CLSIDFromProgID(L"Zanbit32.ZBUtility", &clsid) != S_OK || clsid != CLSID_ZBUtility)
            problems.push_back("ProgID Zanbit32.ZBUtility does not lead to the class");
        IZBUtility* zb = nullptr;
        const HRESULT hr = CreateUtility(&zb);
        if (hr != S_OK) {
            char buf[80];
            std::snprintf(buf, sizeof buf, "CoCreateInstance failed: 0x%08lx", static_cast<unsigned long>(hr));
            problems.push_back(buf);
        } else {
            zb->Release();
        }
    } else {
        problems = LeftoverClassKeys();
    }
    for (const auto& p : TypeLibRegistrationProblems(DllPath())) problems.push_back(p);
    CoUninitialize();
    for (const auto& p : problems) std::printf("PROBLEM: %s\n", p.c_str());
    std::printf("%s: %s (%zu problems)\n", problems.empty() ? "ZBCHECK OK" : "ZBCHECK FAILED", expect.c_str(),
                problems.size());
    return problems.empty() ? 0 : 1;
}
