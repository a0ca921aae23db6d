// Helpers of the fuzz targets: the input cut into mail lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

inline std::vector<std::string> Lines(std::string_view data) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = data.find('\n', start)) != std::string_view::npos; start = end + 1) {
        lines.emplace_back(data.substr(start, end - start));
    }
    lines.emplace_back(data.substr(start));
    return lines;
}

inline std::string_view View(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

}  // namespace fuzz
