// A grid of character cells with display attributes: what a terminal front end draws
// into before it shows it, and what tests read back as text.
#pragma once

#include <climits>
#include <string>
#include <string_view>
#include <vector>

namespace vek::term {

enum CellAttr : unsigned {
    ATTR_NORMAL = 0,
    ATTR_DIM = 1,     // disabled controls
    ATTR_BOLD = 2,    // the default push button
    ATTR_REVERSE = 4, // the focused control, caption bars
};

struct Cell {
    std::string glyph = " "; // one code point, UTF-8
    unsigned attr = ATTR_NORMAL;
};

class Canvas {
public:
    Canvas(int rows, int cols);
    int Rows() const { return rows; }
    int Cols() const { return cols; }

    // Writes text from (row, col), one cell per code point, clipped to the canvas and
    // to at most maxCols cells. Returns the number of cells the text takes.
    int Text(int row, int col, std::string_view text, unsigned attr, int maxCols = INT_MAX);
    // Fills cells with blanks of the given attribute.
    void Fill(int row, int col, int height, int width, unsigned attr);
    // A single-line frame whose corners are the given cells.
    void Frame(int top, int left, int bottom, int right, unsigned attr);

    // Out-of-range cells read as a blank.
    const Cell& At(int row, int col) const;
    // The rows joined by "\n", trailing blanks of each row cut.
    std::string ToText() const;

private:
    int rows, cols;
    std::vector<Cell> cells;
};

// Number of code points of UTF-8 text: its width in cells.
int TextCells(std::string_view text);

// Splits text at spaces into lines of at most width cells (a longer word is cut).
std::vector<std::string> WrapText(std::string_view text, int width);

} // namespace vek::term
