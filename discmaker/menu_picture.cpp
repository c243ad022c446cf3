#include "discmaker/menu_picture.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace qorvcd::discmaker {

namespace {

// A 5x7 font of capitals, digits and the marks file names use most.
struct Glyph {
    char c;
    std::array<const char*, 7> rows;
};

constexpr Glyph kFont[] = {
    {' ', {"     ", "     ", "     ", "     ", "     ", "     ", "     "}},
    {'0', {" ### ", "#   #", "#  ##", "# # #", "##  #", "#   #", " ### "}},
    {'1', {"  #  ", " ##  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "}},
    {'2', {" ### ", "#   #", "    #", "   # ", "  #  ", " #   ", "#####"}},
    {'3', {"#####", "   # ", "  #  ", "   # ", "    #", "#   #", " ### "}},
    {'4', {"   # ", "  ## ", " # # ", "#  # ", "#####", "   # ", "   # "}},
    {'5', {"#####", "#    ", "#### ", "    #", "    #", "#   #", " ### "}},
    {'6', {"  ## ", " #   ", "#    ", "#### ", "#   #", "#   #", " ### "}},
    {'7', {"#####", "    #", "   # ", "  #  ", " #   ", " #   ", " #   "}},
    {'8', {" ### ", "#   #", "#   #", " ### ", "#   #", "#   #", " ### "}},
    {'9', {" ### ", "#   #", "#   #", " ####", "    #", "   # ", " ##  "}},
    {'A', {" ### ", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"}},
    {'B', {"#### ", "#   #", "#   #", "#### ", "#   #", "#   #", "#### "}},
    {'C', {" ### ", "#   #", "#    ", "#    ", "#    ", "#   #", " ### "}},
    {'D', {"#### ", "#   #", "#   #", "#   #", "#   #", "#   #", "#### "}},
    {'E', {"#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#####"}},
    {'F', {"#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#    "}},
    {'G', {" ### ", "#   #", "#    ", "# ###", "#   #", "#   #", " ####"}},
    {'H', {"#   #", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"}},
    {'I', {" ### ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "}},
    {'J', {"  ###", "   # ", "   # ", "   # ", "   # ", "#  # ", " ##  "}},
    {'K', {"#   #", "#  # ", "# #  ", "##   ", "# #  ", "#  # ", "#   #"}},
    {'L', {"#    ", "#    ", "#    ", "#    ", "#    ", "#    ", "#####"}},
    {'M', {"#   #", "## ##", "# # #", "# # #", "#   #", "#   #", "#   #"}},
    {'N', {"#   #", "#   #", "##  #", "# # #", "#  ##", "#   #", "#   #"}},
    {'O', {" ### ", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "}},
    {'P', {"#### ", "#   #", "#   #", "#### ", "#    ", "#    ", "#    "}},
    {'Q', {" ### ", "#   #", "#   #", "#   #", "# # #", "#  # ", " ## #"}},
    {'R', {"#### ", "#   #", "#   #", "#### ", "# #  ", "#  # ", "#   #"}},
    {'S', {" ####", "#    ", "#    ", " ### ", "    #", "    #", "#### "}},
    {'T', {"#####", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  "}},
    {'U', {"#   #", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "}},
    {'V', {"#   #", "#   #", "#   #", "#   #", "#   #", " # # ", "  #  "}},
    {'W', {"#   #", "#   #", "#   #", "# # #", "# # #", "# # #", " # # "}},
    {'X', {"#   #", "#   #", " # # ", "  #  ", " # # ", "#   #", "#   #"}},
    {'Y', {"#   #", "#   #", " # # ", "  #  ", "  #  ", "  #  ", "  #  "}},
    {'Z', {"#####", "    #", "   # ", "  #  ", " #   ", "#    ", "#####"}},
    {'.', {"     ", "     ", "     ", "     ", "     ", " ##  ", " ##  "}},
    {',', {"     ", "     ", "     ", "     ", " ##  ", "  #  ", " #   "}},
    {'-', {"     ", "     ", "     ", "#####", "     ", "     ", "     "}},
    {'_', {"     ", "     ", "     ", "     ", "     ", "     ", "#####"}},
    {':', {"     ", " ##  ", " ##  ", "     ", " ##  ", " ##  ", "     "}},
    {'!', {"  #  ", "  #  ", "  #  ", "  #  ", "  #  ", "     ", "  #  "}},
    {'?', {" ### ", "#   #", "    #", "   # ", "  #  ", "     ", "  #  "}},
    {'\'', {"  #  ", "  #  ", " #   ", "     ", "     ", "     ", "     "}},
    {'"', {" # # ", " # # ", "     ", "     ", "     ", "     ", "     "}},
    {'(', {"   # ", "  #  ", " #   ", " #   ", " #   ", "  #  ", "   # "}},
    {')', {" #   ", "  #  ", "   # ", "   # ", "   # ", "  #  ", " #   "}},
    {'&', {" ##  ", "#  # ", "# #  ", " #   ", "# # #", "#  # ", " ## #"}},
    {'+', {"     ", "  #  ", "  #  ", "#####", "  #  ", "  #  ", "     "}},
    {'/', {"     ", "    #", "   # ", "  #  ", " #   ", "#    ", "     "}},
    {'#', {" # # ", " # # ", "#####", " # # ", "#####", " # # ", " # # "}},
};

constexpr int kGlyphWidth = 5, kGlyphHeight = 7;
constexpr int kCellWidth = 6, kCellHeight = 10;  // a column and three rows of space

const Glyph& GlyphOf(char c) {
    const char upper = char(std::toupper(static_cast<unsigned char>(c)));
    for (const Glyph& glyph : kFont) {
        if (glyph.c == upper) return glyph;
    }
    for (const Glyph& glyph : kFont) {
        if (glyph.c == '?') return glyph;
    }
    return kFont[0];
}

struct Colour {
    uint8_t r, g, b;
};
constexpr Colour kBackground{16, 24, 72};
constexpr Colour kTitleColour{255, 214, 64};
constexpr Colour kChoiceColour{235, 235, 235};

class Canvas {
public:
    explicit Canvas(MenuPicture& picture) : p_(picture) {}

    void Fill(Colour colour) {
        for (size_t i = 0; i + 2 < p_.rgb.size(); i += 3) Put(i, colour);
    }

    // Text from (x, y), each font pixel a square of `scale`; what passes the
    // right edge `limit` is cut off.
    void Text(const std::string& text, int x, int y, int scale, int limit, Colour colour) {
        for (char c : text) {
            if (x + kGlyphWidth * scale > limit) return;
            const Glyph& glyph = GlyphOf(c);
            for (int row = 0; row < kGlyphHeight; ++row) {
                for (int col = 0; col < kGlyphWidth; ++col) {
                    if (glyph.rows[row][col] == '#') Block(x + col * scale, y + row * scale, scale, colour);
                }
            }
            x += kCellWidth * scale;
        }
    }

private:
    void Put(size_t at, Colour colour) {
        p_.rgb[at] = colour.r;
        p_.rgb[at + 1] = colour.g;
        p_.rgb[at + 2] = colour.b;
    }
    void Block(int x, int y, int size, Colour colour) {
        for (int dy = 0; dy < size; ++dy) {
            for (int dx = 0; dx < size; ++dx) {
                const int px = x + dx, py = y + dy;
                if (px < 0 || py < 0 || px >= p_.width || py >= p_.height) continue;
                Put((size_t(py) * size_t(p_.width) + size_t(px)) * 3, colour);
            }
        }
    }

    MenuPicture& p_;
};

int TextWidth(size_t characters, int scale) {
    return characters == 0 ? 0 : int(characters) * kCellWidth * scale - scale;
}

void PutLittleEndian(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

}  // namespace

MenuPicture DrawMenu(const std::string& title, const std::vector<std::string>& choices, VideoStandard norm) {
    MenuPicture picture;
    picture.width = norm == VideoStandard::Ntsc ? 640 : 768;
    picture.height = norm == VideoStandard::Ntsc ? 480 : 576;
    picture.rgb.assign(size_t(picture.width) * size_t(picture.height) * 3, 0);
    Canvas canvas(picture);
    canvas.Fill(kBackground);

    // A tenth of each side may be hidden by a television's frame.
    const int left = picture.width / 10, right = picture.width - picture.width / 10;
    const int top = picture.height / 10, bottom = picture.height - picture.height / 10;
    const int usable = right - left;

    int y = top;
    if (!title.empty()) {
        int scale = 6;
        while (scale > 2 && TextWidth(title.size(), scale) > usable) --scale;
        const int x = std::max(left, left + (usable - TextWidth(title.size(), scale)) / 2);
        canvas.Text(title, x, y, scale, right, kTitleColour);
        y += kCellHeight * scale + kCellHeight * 2;
    }
    if (choices.empty()) return picture;

    // The largest letters that set the choices in at most three columns.
    const int rowsHeight = bottom - y;
    int scale = 4, columns = 1;
    for (; scale > 1; --scale) {
        const int rows = std::max(1, rowsHeight / (kCellHeight * scale));
        columns = int((choices.size() + size_t(rows) - 1) / size_t(rows));
        if (columns <= 3) break;
    }
    const int rows = std::max(1, rowsHeight / (kCellHeight * scale));
    columns = int((choices.size() + size_t(rows) - 1) / size_t(rows));
    const int columnWidth = usable / std::max(1, columns);
    for (size_t i = 0; i < choices.size(); ++i) {
        const int column = int(i) / rows, row = int(i) % rows;
        const int x = left + column * columnWidth;
        canvas.Text(choices[i], x, y + row * kCellHeight * scale, scale, x + columnWidth - kCellWidth * scale,
                    kChoiceColour);
    }
    return picture;
}

std::vector<uint8_t> BmpBytes(const MenuPicture& picture) {
    const uint32_t rowBytes = (uint32_t(picture.width) * 3 + 3) & ~3u;
    const uint32_t dataBytes = rowBytes * uint32_t(picture.height);
    std::vector<uint8_t> out;
    out.reserve(54 + dataBytes);
    out.push_back('B');
    out.push_back('M');
    PutLittleEndian(out, 54 + dataBytes, 4);
    PutLittleEndian(out, 0, 4);
    PutLittleEndian(out, 54, 4);
    PutLittleEndian(out, 40, 4);
    PutLittleEndian(out, uint32_t(picture.width), 4);
    PutLittleEndian(out, uint32_t(picture.height), 4);  // rows from the bottom
    PutLittleEndian(out, 1, 2);
    PutLittleEndian(out, 24, 2);
    PutLittleEndian(out, 0, 4);
    PutLittleEndian(out, dataBytes, 4);
    PutLittleEndian(out, 2835, 4);  // 72 dots per inch
    PutLittleEndian(out, 2835, 4);
    PutLittleEndian(out, 0, 4);
    PutLittleEndian(out, 0, 4);
    for (int y = picture.height - 1; y >= 0; --y) {
        const uint8_t* row = picture.rgb.data() + size_t(y) * size_t(picture.width) * 3;
        for (int x = 0; x < picture.width; ++x) {
            out.push_back(row[x * 3 + 2]);
            out.push_back(row[x * 3 + 1]);
            out.push_back(row[x * 3]);
        }
        for (uint32_t pad = uint32_t(picture.width) * 3; pad < rowBytes; ++pad) out.push_back(0);
    }
    return out;
}

}  // namespace qorvcd::discmaker
