#include "resources/VersionInfo.h"

namespace {

constexpr win32::VersionStrings kVersion = {
    "041104b0",
    "varaved サーバ",
    "4, 0, 8, 1197",
    "4.0.8.1197",
};

}  // namespace

const win32::VersionStrings& ModuleVersionInfo() {
    return kVersion;
}
