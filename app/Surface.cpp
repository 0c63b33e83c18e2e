#include "app/Surface.h"

#include <fstream>

namespace mirvo::app {

bool writePpm(const Surface8u& surface, const std::filesystem::path& path)
{
    std::ofstream out(path, std::ios::binary);
    if (!out) {
        return false;
    }
    out << "P6\n" << surface.width << ' ' << surface.height << "\n255\n";
    std::vector<char> row(std::size_t(surface.width) * 3);
    for (int y = 0; y < surface.height; ++y) {
        for (int x = 0; x < surface.width; ++x) {
            const std::uint8_t* p = surface.pixel(x, y);
            row[std::size_t(x) * 3 + 0] = char(p[0]);
            row[std::size_t(x) * 3 + 1] = char(p[1]);
            row[std::size_t(x) * 3 + 2] = char(p[2]);
        }
        out.write(row.data(), std::streamsize(row.size()));
    }
    return bool(out);
}

} // namespace mirvo::app
