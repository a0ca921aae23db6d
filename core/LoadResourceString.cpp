#include "core/LoadResourceString.h"

#include <vector>

#include "resources/ModuleResources.h"

namespace {

constexpr int kInitialSize = 255;
constexpr int kGrowth = 256;
// A load that leaves less room than this may have been cut short, so it is repeated with a larger buffer.
constexpr int kMinimumFreeRoom = 5;

}  // namespace

bool LoadResourceString(win32::HINSTANCE instance, win32::UINT id, std::string& text)
{
    std::vector<char> buffer(kInitialSize);
    int length = 0;
    for (;;) {
        const int size = static_cast<int>(buffer.size());
        length = win32::LoadString(instance, id, buffer.data(), size);
        if (size - length >= kMinimumFreeRoom) {
            break;
        }
        buffer.resize(buffer.size() + kGrowth);
    }
    if (length <= 0) {
        return false;
    }
    text.assign(buffer.data(), static_cast<std::size_t>(length));
    return true;
}

bool LoadResourceString(win32::UINT id, std::string& text)
{
    return LoadResourceString(ModuleInstance(), id, text);
}
