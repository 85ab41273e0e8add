#pragma once
// The program's identity: title, product, company and the version of its version resource.
#include <windows.h>

#include <string>

struct Application {
    std::wstring title;
    std::wstring product;
    std::wstring company;
    std::wstring version;
};

// The program-wide application object.
const Application& App();
HINSTANCE AppInstance();
