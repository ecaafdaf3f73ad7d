#include "terminal/Canvas.h"

namespace vek::term {

namespace {

// Length in bytes of the UTF-8 sequence that starts with byte c (1 for stray bytes).
size_t SequenceLength(unsigned char c)
{
    if (c >= 0xf0 && c < 0xf8)
        return 4;
    if (c >= 0xe0)
        return c < 0xf0 ? 3 : 1;
    if (c >= 0xc0)
        return 2;
    return 1;
}

// Calls f with each code point of text as a string view.
template <class F> void ForEachCodePoint(std::string_view text, F f)
{
    for (size_t i = 0; i < text.size();) {
        size_t n = std::min(SequenceLength(static_cast<unsigned char>(text[i])), text.size() - i);
        f(text.substr(i, n));
        i += n;
    }
}

const Cell blank;

} // namespace

Canvas::Canvas(int r, int c) : rows(r > 0 ? r : 0), cols(c > 0 ? c : 0), cells(size_t(rows) * size_t(cols)) {}

int Canvas::Text(int row, int col, std::string_view text, unsigned attr, int maxCols)
{
    int n = 0;
    ForEachCodePoint(text, [&](std::string_view cp) {
        if (n >= maxCols)
            return;
        int c = col + n++;
        if (row >= 0 && row < rows && c >= 0 && c < cols)
            cells[size_t(row) * size_t(cols) + size_t(c)] = Cell{std::string(cp), attr};
    });
    return n;
}

void Canvas::Fill(int row, int col, int height, int width, unsigned attr)
{
    for (int r = row; r < row + height; r++)
        for (int c = col; c < col + width; c++)
            if (r >= 0 && r < rows && c >= 0 && c < cols)
                cells[size_t(r) * size_t(cols) + size_t(c)] = Cell{" ", attr};
}

void Canvas::Frame(int top, int left, int bottom, int right, unsigned attr)
{
    if (bottom <= top || right <= left)
        return;
    for (int c = left + 1; c < right; c++) {
        Text(top, c, "\u2500", attr);
        Text(bottom, c, "\u2500", attr);
    }
    for (int r = top + 1; r < bottom; r++) {
        Text(r, left, "\u2502", attr);
        Text(r, right, "\u2502", attr);
    }
    Text(top, left, "\u250c", attr);
    Text(top, right, "\u2510", attr);
    Text(bottom, left, "\u2514", attr);
    Text(bottom, right, "\u2518", attr);
}

const Cell& Canvas::At(int row, int col) const
{
    if (row < 0 || row >= rows || col < 0 || col >= cols)
        return blank;
    return cells[size_t(row) * size_t(cols) + size_t(col)];
}

std::string Canvas::ToText() const
{
    std::string out;
    for (int r = 0; r < rows; r++) {
        std::string line;
        for (int c = 0; c < cols; c++)
            line += At(r, c).glyph;
        size_t end = line.find_last_not_of(' ');
        line.resize(end == std::string::npos ? 0 : end + 1);
        if (r > 0)
            out += '\n';
        out += line;
    }
    return out;
}

int TextCells(std::string_view text)
{
    int n = 0;
    ForEachCodePoint(text, [&](std::string_view) { n++; });
    return n;
}

std::vector<std::string> WrapText(std::string_view text, int width)
{
    std::vector<std::string> lines;
    if (width <= 0)
        return lines;
    std::string line;
    int lineCells = 0;
    auto flush = [&] {
        lines.push_back(line);
        line.clear();
        lineCells = 0;
    };
    size_t i = 0;
    while (i < text.size()) {
        size_t space = text.find(' ', i);
        std::string_view word = text.substr(i, space == std::string_view::npos ? std::string_view::npos : space - i);
        i = space == std::string_view::npos ? text.size() : space + 1;
        int wordCells = TextCells(word);
        if (lineCells > 0 && lineCells + 1 + wordCells > width)
            flush();
        while (wordCells > width) { // a word longer than a line: cut it
            std::string head;
            int n = 0;
            ForEachCodePoint(word, [&](std::string_view cp) {
                if (n++ < width)
                    head += cp;
            });
            lines.push_back(head);
            word.remove_prefix(head.size());
            wordCells -= width;
        }
        if (lineCells > 0) {
            line += ' ';
            lineCells++;
        }
        line += word;
        lineCells += wordCells;
    }
    if (lineCells > 0 || lines.empty())
        flush();
    return lines;
}

} // namespace vek::term
