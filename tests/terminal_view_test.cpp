// The terminal dialog: what it draws from the template and what keys and clicks do.
#include "dialog_test_util.h"
#include "terminal/DialogView.h"

namespace vek::test {
namespace {

using term::Canvas;
using term::DialogView;
using term::Key;

// The screen cell of a control's top left corner.
std::pair<int, int> CellOf(const DialogView& view, const DialogSession& s, int id)
{
    for (size_t i = 0; i < s.controls.size(); i++)
        if (GetDlgCtrlID(s.controls[i]) == id) {
            term::CellRect r = term::ControlCells(s.resource->items[i]);
            return {view.Top() + 1 + r.row, view.Left() + 1 + r.col};
        }
    ADD_FAILURE() << "no control " << id;
    return {0, 0};
}

std::string Row(const Canvas& c, int row)
{
    std::string text = c.ToText();
    size_t start = 0;
    for (int r = 0; r < row && start != std::string::npos; r++)
        start = text.find('\n', start) == std::string::npos ? std::string::npos : text.find('\n', start) + 1;
    if (start == std::string::npos)
        return "";
    return text.substr(start, text.find('\n', start) - start);
}

TEST(TerminalDialog, DrawsTheTemplateWithDisabledControlsDim)
{
    RunWithDialog("term-draw", OneNodeScene(), {}, [](DialogSession& s) {
        DialogView view(s);
        view.Place(24, 80);
        EXPECT_EQ(view.Rows(), 24);
        EXPECT_EQ(view.Cols(), 80);
        Canvas canvas(24, 80);
        view.Draw(canvas);
        std::string text = canvas.ToText();
        EXPECT_EQ(Row(canvas, 0).find(" Export To Vek Pr\xc3\xa9"
                                      "f\xc3\xa9rences"),
                  0u);
        EXPECT_NE(Row(canvas, 0).find("[X]"), std::string::npos);
        for (const char* expected :
             {"\xe2\x94\x8c Types d'objets", "[x] Dummys", "[x] G\xc3\xa9om\xc3\xa9tries", "[ ] Lumi\xc3\xa8res",
              "\xe2\x94\x8c Exporter la frame", "[x] actuelle", "[ ] Fusion des vertices p\xc3\xa8res/fils",
              "[ ] Exporter pour les versions", "inf. de KELM", "Version: 4.0", "[    6]", "Indentation:", "Annuler"})
            EXPECT_NE(text.find(expected), std::string::npos) << expected;
        // Left column and right column share rows.
        std::string dummys = Row(canvas, CellOf(view, s, IDC_DUMMIES).first);
        EXPECT_NE(dummys.find("inf. de KELM"), std::string::npos) << dummys;

        // "actuelle" is checked: the frame edit and its spinner are drawn dim.
        auto [er, ec] = CellOf(view, s, IDC_FRAME_EDIT);
        auto [sr, sc] = CellOf(view, s, IDC_FRAME_SPIN);
        EXPECT_TRUE(canvas.At(er, ec).attr & term::ATTR_DIM);
        EXPECT_EQ(canvas.At(sr, sc).glyph, "\xe2\x96\xb2");
        EXPECT_TRUE(canvas.At(sr, sc).attr & term::ATTR_DIM);
        auto [dr, dc] = CellOf(view, s, IDC_DECIMALS_EDIT);
        EXPECT_FALSE(canvas.At(dr, dc).attr & term::ATTR_DIM);
        // The first control has the focus.
        auto [fr, fc] = CellOf(view, s, IDC_DUMMIES);
        EXPECT_TRUE(canvas.At(fr, fc).attr & term::ATTR_REVERSE);
        s.Click(IDC_OK);
    });
}

TEST(TerminalDialog, KeyboardMovesTogglesTypesAndConfirms)
{
    auto run = RunWithDialog("term-keys", OneNodeScene(), {}, [](DialogSession& s) {
        DialogView view(s);
        view.Place(30, 100);
        EXPECT_EQ(GetDlgCtrlID(view.Focus()), IDC_DUMMIES);
        view.Press(Key::Space);
        EXPECT_FALSE(Checked(s, IDC_DUMMIES));
        view.Press(Key::Down);  // Géométries
        view.Press(Key::Space); // unchecked: disables its two dependents
        view.Press(Key::Tab);
        EXPECT_EQ(GetDlgCtrlID(view.Focus()), IDC_LIGHTS);
        view.Press(Key::Space);
        view.Press(Key::BackTab);
        EXPECT_EQ(GetDlgCtrlID(view.Focus()), IDC_GEOMETRY);
        // Caméras, Boites de collision, Animation, actuelle; then the disabled frame edit is skipped.
        for (int k = 0; k < 5; k++)
            view.Press(Key::Tab);
        EXPECT_EQ(GetDlgCtrlID(view.Focus()), IDC_CURRENT_FRAME);
        view.Press(Key::Tab);
        EXPECT_EQ(GetDlgCtrlID(view.Focus()), IDC_MERGE);
        while (GetDlgCtrlID(view.Focus()) != IDC_DECIMALS_EDIT)
            view.Press(Key::Tab);
        view.Press(Key::Char, '3');
        int row, col;
        EXPECT_TRUE(view.Cursor(row, col));
        EXPECT_EQ(EditText(s, IDC_DECIMALS_EDIT), "6"); // not given to the spinner yet
        view.Press(Key::Tab);                           // leaving the edit gives it
        EXPECT_EQ(EditText(s, IDC_DECIMALS_EDIT), "3");
        EXPECT_FALSE(view.Cursor(row, col));
        view.Press(Key::Up); // indentation spinner up
        view.Press(Key::Char, '+');
        EXPECT_EQ(EditText(s, IDC_INDENT_EDIT), "3");
        view.Press(Key::PageUp);
        EXPECT_EQ(EditText(s, IDC_INDENT_EDIT), "8");
        view.Press(Key::Char, '9');
        view.Press(Key::Char, '9');
        view.Press(Key::Backspace);
        view.Press(Key::Escape); // the system's cancel command: ignored
        EXPECT_FALSE(s.Ended());
        view.Press(Key::Enter); // gives the typed 9, clamped to 8, then "OK"
        EXPECT_TRUE(s.Ended());
    });
    EXPECT_TRUE(run.exported);
    EXPECT_EQ(run.saved.exportDummies, 0);
    EXPECT_EQ(run.saved.exportGeometry, 0);
    EXPECT_EQ(run.saved.exportLights, 1);
    EXPECT_EQ(run.saved.decimals, 3);
    EXPECT_EQ(run.saved.indentation, 8);
}

TEST(TerminalDialog, EnterOnAnnulerCancels)
{
    auto run = RunWithDialog("term-annuler", OneNodeScene(), {}, [](DialogSession& s) {
        DialogView view(s);
        view.Press(Key::BackTab); // wraps round to the last control
        EXPECT_EQ(GetDlgCtrlID(view.Focus()), IDC_CANCEL);
        view.Press(Key::Enter);
    });
    EXPECT_FALSE(run.exported);
    EXPECT_EQ(run.cfgAfter, run.cfgBefore);
}

TEST(TerminalDialog, MouseClicksControlsSpinnersAndTheCloseBox)
{
    auto run = RunWithDialog("term-mouse", OneNodeScene(), {{"currentFrame", 0}}, [](DialogSession& s) {
        DialogView view(s);
        view.Place(30, 100);
        auto [lr, lc] = CellOf(view, s, IDC_LIGHTS);
        view.Click(lr, lc + 6); // on the label
        EXPECT_TRUE(Checked(s, IDC_LIGHTS));
        EXPECT_EQ(GetDlgCtrlID(view.Focus()), IDC_LIGHTS);
        auto [sr, sc] = CellOf(view, s, IDC_DECIMALS_SPIN);
        view.Click(sr, sc + 1); // down
        view.Click(sr, sc + 1);
        view.Click(sr, sc); // up
        EXPECT_EQ(EditText(s, IDC_DECIMALS_EDIT), "5");
        auto [ir, ic] = CellOf(view, s, IDC_INDENT_EDIT);
        view.Wheel(ir, ic + 3, +1); // the wheel over an edit turns its spinner
        view.Wheel(lr, lc, +1);     // and does nothing elsewhere
        EXPECT_EQ(EditText(s, IDC_INDENT_EDIT), "2");
        // A disabled control ignores clicks.
        auto [pr, pc] = CellOf(view, s, IDC_MERGE_PRECISION_SPIN);
        view.Click(pr, pc);
        EXPECT_EQ(EditText(s, IDC_MERGE_PRECISION_EDIT), "1");
        // The frame edit takes the focus and typed digits.
        auto [fr, fc] = CellOf(view, s, IDC_FRAME_EDIT);
        view.Click(fr, fc + 2);
        EXPECT_EQ(GetDlgCtrlID(view.Focus()), IDC_FRAME_EDIT);
        view.Press(Key::Char, '7');
        // The close box: nothing.
        view.Click(view.Top(), view.Left() + view.Cols() - 3);
        EXPECT_FALSE(s.Ended());
        auto [or_, oc] = CellOf(view, s, IDC_OK);
        view.Click(or_, oc + 3);
        EXPECT_TRUE(s.Ended());
    });
    EXPECT_EQ(run.saved.exportLights, 1);
    EXPECT_EQ(run.saved.decimals, 5);
    EXPECT_EQ(run.saved.indentation, 2);
    EXPECT_EQ(run.saved.frameNumber, 7);
}

TEST(TerminalDialog, SmallScreenKeepsTheWindowAtTheCorner)
{
    RunWithDialog("term-small", OneNodeScene(), {}, [](DialogSession& s) {
        DialogView view(s);
        view.Place(10, 40);
        EXPECT_EQ(view.Top(), 0);
        EXPECT_EQ(view.Left(), 0);
        Canvas canvas(10, 40); // drawing clips, it does not fail
        view.Draw(canvas);
        EXPECT_NE(canvas.ToText().find("Dummys"), std::string::npos);
        s.Click(IDC_OK);
    });
}

TEST(TerminalMessageBox, ShowsTextAndClosesOnOk)
{
    term::MessageBoxView box("Conversion r\xc3\xa9ussit", "Message");
    box.Place(24, 80);
    Canvas canvas(24, 80);
    box.Draw(canvas);
    std::string text = canvas.ToText();
    EXPECT_NE(text.find("Message"), std::string::npos);
    EXPECT_NE(text.find("\xe2\x94\x82 Conversion r\xc3\xa9ussit \xe2\x94\x82"), std::string::npos);
    EXPECT_NE(text.find("[  OK  ]"), std::string::npos);
    box.Press(Key::Tab);
    EXPECT_FALSE(box.Closed());
    box.Press(Key::Enter);
    EXPECT_TRUE(box.Closed());
}

TEST(TerminalCanvas, WrapsAtSpacesAndCountsCodePoints)
{
    using term::WrapText;
    EXPECT_EQ(WrapText("Exporter pour les versions 3.5 et inf. de KELM", 33),
              (std::vector<std::string>{"Exporter pour les versions 3.5 et", "inf. de KELM"}));
    EXPECT_EQ(WrapText("Pr\xc3\xa9"
                       "cision fusion:",
                       17),
              (std::vector<std::string>{"Pr\xc3\xa9"
                                        "cision fusion:"}));
    EXPECT_EQ(WrapText("abcdefgh", 3), (std::vector<std::string>{"abc", "def", "gh"}));
    EXPECT_EQ(WrapText("", 5), (std::vector<std::string>{""}));
    EXPECT_EQ(term::TextCells("Cam\xc3\xa9ras"), 7);
    Canvas c(2, 5);
    EXPECT_EQ(c.Text(0, 3, "\xc3\xa9t\xc3\xa9", term::ATTR_BOLD), 3);
    EXPECT_EQ(c.At(0, 3).glyph, "\xc3\xa9");
    EXPECT_EQ(c.At(0, 4).glyph, "t");
    EXPECT_EQ(c.ToText(), "   \xc3\xa9t\n");
}

} // namespace
} // namespace vek::test
