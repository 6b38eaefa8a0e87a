// Writes the program's window icon as a C++ header of RGBA bytes, decoded from the 48-pixel PNG
// that is installed for the desktop, so that the window's icon and the desktop's are one picture
// and the program itself needs no image library:
//   make_icon_pixels ICON.png OUT.h
#include <FL/Fl_PNG_Image.H>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3)
    {
        std::fprintf(stderr, "usage: make_icon_pixels ICON.png OUT.h\n");
        return 2;
    }
    Fl_PNG_Image icon(argv[1]);
    if (icon.fail() != 0 || icon.w() != icon.h() || icon.d() != 4 || icon.count() != 1)
    {
        std::fprintf(stderr, "make_icon_pixels: %s is no square RGBA PNG\n", argv[1]);
        return 1;
    }
    std::FILE* out = std::fopen(argv[2], "w");
    if (out == nullptr)
        return 1;
    std::fprintf(
        out, "// Made by make_icon_pixels (platform/interface/private) from %s.\n#pragma once\n\n",
        argv[1]);
    std::fprintf(out, "inline constexpr int kDesktopIconSize = %d;\n", icon.w());
    std::fprintf(out, "inline constexpr unsigned char kDesktopIconPixels[] = {");
    const auto* pixels = reinterpret_cast<const unsigned char*>(icon.data()[0]);
    int line_length = icon.ld() != 0 ? icon.ld() : icon.w() * 4;
    for (int row = 0; row < icon.h(); row++)
    {
        for (int byte = 0; byte < icon.w() * 4; byte++)
            std::fprintf(out, "%s%u,", byte % 16 == 0 ? "\n" : "",
                         pixels[row * line_length + byte]);
    }
    std::fprintf(out, "\n};\n");
    return std::fclose(out) == 0 ? 0 : 1;
}
