// The preferences dialog driven as a user would drive it, through the real export.
#include "custcont.h"
#include "dialog_test_util.h"

namespace vek::test {
namespace {

std::string SceneWithRange(int startTicks, int endTicks)
{
    return SceneText(R"("d": {"type": "dummy"})", R"({"name": "D", "object": "d"})",
                     R"("interface": {"ticksPerFrame": 160, "animRange": [)" + std::to_string(startTicks) + ", " +
                         std::to_string(endTicks) + "]}");
}

void ClickOk(DialogSession& s) { s.Click(IDC_OK); }

TEST(PreferencesDialog, AnimationAtOpeningDisablesTheFrameControlsUntilUnchecked)
{
    auto run = RunWithDialog("prefs-anim", OneNodeScene(), {{"exportAnimation", 1}, {"currentFrame", 0}},
                             [](DialogSession& s) {
                                 EXPECT_TRUE(Checked(s, IDC_ANIMATION));
                                 EXPECT_FALSE(Enabled(s, IDC_CURRENT_FRAME));
                                 EXPECT_FALSE(Enabled(s, IDC_FRAME_EDIT));
                                 EXPECT_FALSE(Enabled(s, IDC_FRAME_SPIN));
                                 s.Click(IDC_ANIMATION);
                                 EXPECT_TRUE(Enabled(s, IDC_CURRENT_FRAME));
                                 EXPECT_TRUE(Enabled(s, IDC_FRAME_EDIT)); // "actuelle" is unchecked
                                 EXPECT_TRUE(Enabled(s, IDC_FRAME_SPIN));
                                 s.Click(IDC_CURRENT_FRAME);
                                 EXPECT_FALSE(Enabled(s, IDC_FRAME_EDIT));
                                 EXPECT_FALSE(Enabled(s, IDC_FRAME_SPIN));
                                 s.Click(IDC_ANIMATION);
                                 EXPECT_FALSE(Enabled(s, IDC_CURRENT_FRAME));
                                 s.Click(IDC_ANIMATION); // unchecked again, "actuelle" now checked
                                 EXPECT_TRUE(Enabled(s, IDC_CURRENT_FRAME));
                                 EXPECT_FALSE(Enabled(s, IDC_FRAME_EDIT));
                                 ClickOk(s);
                             });
    ASSERT_TRUE(run.opened);
    EXPECT_EQ(run.saved.exportAnimation, 0);
    EXPECT_EQ(run.saved.currentFrame, 1);
}

TEST(PreferencesDialog, OpeningWithoutAnimationFollowsTheCurrentFrameBox)
{
    RunWithDialog("prefs-current", OneNodeScene(), {{"currentFrame", 0}}, [](DialogSession& s) {
        EXPECT_TRUE(Enabled(s, IDC_CURRENT_FRAME));
        EXPECT_TRUE(Enabled(s, IDC_FRAME_EDIT));
        s.Click(IDC_CURRENT_FRAME);
        EXPECT_FALSE(Enabled(s, IDC_FRAME_EDIT));
        ClickOk(s);
    });
}

TEST(PreferencesDialog, GeometryOffAtOpeningAndTheLegacyBox)
{
    RunWithDialog("prefs-geom", OneNodeScene(), {{"exportGeometry", 0}}, [](DialogSession& s) {
        EXPECT_FALSE(Enabled(s, IDC_QUAD_FACES));
        EXPECT_FALSE(Enabled(s, IDC_TOPOLOGY));
        s.Click(IDC_GEOMETRY);
        EXPECT_TRUE(Enabled(s, IDC_QUAD_FACES));
        EXPECT_TRUE(Enabled(s, IDC_TOPOLOGY));
        s.Click(IDC_GEOMETRY);
        EXPECT_FALSE(Enabled(s, IDC_QUAD_FACES));
        EXPECT_FALSE(Enabled(s, IDC_TOPOLOGY));
        ClickOk(s);
    });
    // With the legacy box checked, checking "Géométries" leaves "Topologies" disabled.
    RunWithDialog("prefs-geom-legacy", OneNodeScene(), {{"exportGeometry", 0}, {"legacyFormat", 1}},
                  [](DialogSession& s) {
                      s.Click(IDC_GEOMETRY);
                      EXPECT_TRUE(Enabled(s, IDC_QUAD_FACES));
                      EXPECT_FALSE(Enabled(s, IDC_TOPOLOGY));
                      ClickOk(s);
                  });
}

TEST(PreferencesDialog, LegacyBoxDiffersBetweenOpeningAndClicking)
{
    // At opening the legacy box disables only "Topologies".
    RunWithDialog("prefs-legacy-open", OneNodeScene(), {{"legacyFormat", 1}}, [](DialogSession& s) {
        EXPECT_FALSE(Enabled(s, IDC_TOPOLOGY));
        EXPECT_TRUE(Enabled(s, IDC_LIGHTS));
        EXPECT_TRUE(Enabled(s, IDC_CAMERAS));
        ClickOk(s);
    });
    // Clicking it rules "Topologies", "Lumières" and "Caméras" alone, without regard to "Géométries".
    RunWithDialog("prefs-legacy-click", OneNodeScene(), {{"exportGeometry", 0}}, [](DialogSession& s) {
        s.Click(IDC_LEGACY);
        EXPECT_FALSE(Enabled(s, IDC_TOPOLOGY));
        EXPECT_FALSE(Enabled(s, IDC_LIGHTS));
        EXPECT_FALSE(Enabled(s, IDC_CAMERAS));
        s.Click(IDC_LEGACY);
        EXPECT_TRUE(Enabled(s, IDC_TOPOLOGY));
        EXPECT_TRUE(Enabled(s, IDC_LIGHTS));
        EXPECT_TRUE(Enabled(s, IDC_CAMERAS));
        EXPECT_FALSE(Enabled(s, IDC_QUAD_FACES));
        ClickOk(s);
    });
}

TEST(PreferencesDialog, MergeAndMaterialBoxesRuleTheirDependents)
{
    RunWithDialog("prefs-merge", OneNodeScene(), {{"exportMaterials", 0}}, [](DialogSession& s) {
        EXPECT_FALSE(Enabled(s, IDC_MERGE_PRECISION_EDIT));
        EXPECT_FALSE(Enabled(s, IDC_MERGE_PRECISION_SPIN));
        EXPECT_FALSE(Enabled(s, IDC_GOURAUD));
        EXPECT_FALSE(Enabled(s, IDC_LIGHTING));
        s.Click(IDC_MERGE);
        s.Click(IDC_MATERIALS);
        EXPECT_TRUE(Enabled(s, IDC_MERGE_PRECISION_EDIT));
        EXPECT_TRUE(Enabled(s, IDC_MERGE_PRECISION_SPIN));
        EXPECT_TRUE(Enabled(s, IDC_GOURAUD));
        EXPECT_TRUE(Enabled(s, IDC_LIGHTING));
        ClickOk(s);
    });
}

TEST(PreferencesDialog, FrameSpinnerTakesTheAnimationRangeInFrames)
{
    auto run = RunWithDialog("prefs-range", SceneWithRange(1600, 8000), {{"currentFrame", 0}}, [](DialogSession& s) {
        ISpinnerControl* spin = GetISpinner(GetDlgItem(s.dialog, IDC_FRAME_SPIN));
        ASSERT_NE(spin, nullptr);
        EXPECT_EQ(spin->GetMin(), 10);
        EXPECT_EQ(spin->GetMax(), 50);
        // The stored frame is shown as it is, outside the limits.
        EXPECT_EQ(spin->GetIVal(), 0);
        EXPECT_EQ(EditText(s, IDC_FRAME_EDIT), "0");
        ReleaseISpinner(spin);
        s.TypeInto(IDC_FRAME_EDIT, "70");
        EXPECT_EQ(EditText(s, IDC_FRAME_EDIT), "50");
        ClickOk(s);
    });
    EXPECT_EQ(run.saved.frameNumber, 50);

    // Ticks that are not whole frames are divided towards zero.
    RunWithDialog("prefs-range-neg", SceneWithRange(-500, 170), {}, [](DialogSession& s) {
        ISpinnerControl* spin = GetISpinner(GetDlgItem(s.dialog, IDC_FRAME_SPIN));
        EXPECT_EQ(spin->GetMin(), -3);
        EXPECT_EQ(spin->GetMax(), 1);
        ReleaseISpinner(spin);
        ClickOk(s);
    });
}

TEST(PreferencesDialog, SpinnersHoldTheirLimits)
{
    auto run = RunWithDialog("prefs-spin", OneNodeScene(), {{"decimals", 10}, {"indentation", 3}, {"mergeVertices", 1}},
                             [](DialogSession& s) {
                                 EXPECT_EQ(EditText(s, IDC_DECIMALS_EDIT), "10");
                                 s.Spin(IDC_DECIMALS_SPIN, +1);
                                 EXPECT_EQ(EditText(s, IDC_DECIMALS_EDIT), "10");
                                 s.TypeInto(IDC_INDENT_EDIT, "-4");
                                 EXPECT_EQ(EditText(s, IDC_INDENT_EDIT), "0");
                                 s.TypeInto(IDC_MERGE_PRECISION_EDIT, "abc"); // not a number: unchanged
                                 EXPECT_EQ(EditText(s, IDC_MERGE_PRECISION_EDIT), "1");
                                 s.Spin(IDC_MERGE_PRECISION_SPIN, +3);
                                 ClickOk(s);
                             });
    EXPECT_EQ(run.saved.decimals, 10);
    EXPECT_EQ(run.saved.indentation, 0);
    EXPECT_EQ(run.saved.mergePrecision, 4);
}

TEST(PreferencesDialog, OkStoresEveryBoxDisabledOnesIncluded)
{
    auto run = RunWithDialog("prefs-ok", OneNodeScene(),
                             {{"exportGeometry", 0},
                              {"quadFaces", 1},
                              {"exportTopology", 2},
                              {"gouraud", 1},
                              {"exportMaterials", 0},
                              {"decimals", 20},
                              {"frameNumber", -7}},
                             [](DialogSession& s) {
                                 EXPECT_FALSE(Enabled(s, IDC_TOPOLOGY));
                                 EXPECT_TRUE(Checked(s, IDC_TOPOLOGY));
                                 ClickOk(s);
                             });
    EXPECT_EQ(run.result, 1);
    EXPECT_TRUE(run.exported);
    ExportOptions expected = DefaultExportOptions;
    expected.exportGeometry = 0;
    expected.exportTopology = 1; // stored as 1 for on
    expected.gouraud = 1;
    expected.exportMaterials = 0;
    expected.decimals = 20; // the limits do not clamp a stored value
    expected.frameNumber = -7;
    for (int k = 0; k < ExportOptions::Count; k++)
        EXPECT_EQ(run.saved[k], expected[k]) << ExportOptionTable[k].name;
}

TEST(PreferencesDialog, AnnulerLeavesEveryOptionAndExportsNothing)
{
    auto run = RunWithDialog("prefs-cancel", OneNodeScene(), {{"exportLights", 0}}, [](DialogSession& s) {
        s.Click(IDC_LIGHTS);
        s.Click(IDC_GEOMETRY);
        s.TypeInto(IDC_DECIMALS_EDIT, "2");
        s.Click(IDC_CANCEL);
    });
    EXPECT_EQ(run.result, 1);
    EXPECT_FALSE(run.exported);
    EXPECT_EQ(run.cfgAfter, run.cfgBefore);
}

TEST(PreferencesDialog, EscapeAndCloseBoxLeaveTheDialogOpen)
{
    auto run = RunWithDialog("prefs-escape", OneNodeScene(), {}, [](DialogSession& s) {
        s.Cancel();
        EXPECT_FALSE(s.Ended());
        EXPECT_EQ(PrefsDlgProc(s.dialog, WM_COMMAND, IDCANCEL, 0), TRUE);
        EXPECT_EQ(PrefsDlgProc(s.dialog, WM_COMMAND, 4242, 0), TRUE);
        EXPECT_EQ(PrefsDlgProc(s.dialog, 0x0200 /* mouse move */, 0, 0), FALSE);
        EXPECT_FALSE(s.Ended());
        s.Click(IDC_OK);
        EXPECT_TRUE(s.Ended());
    });
    EXPECT_TRUE(run.exported);
}

TEST(PreferencesDialog, WithoutAnExporterEveryMessageIsDeclined)
{
    HINSTANCE module = LinkedModule();
    bool ran = false;
    SetDialogFrontEnd([&](DialogSession& s) {
        ran = true;
        EXPECT_EQ(PrefsDlgProc(s.dialog, WM_COMMAND, IDC_OK, 0), FALSE);
        EXPECT_FALSE(s.Ended());
    });
    EXPECT_EQ(DialogBoxParam(module, MAKEINTRESOURCE(IDD_PREFS), nullptr, PrefsDlgProc, 0), -1);
    SetDialogFrontEnd(nullptr);
    EXPECT_TRUE(ran);
}

} // namespace
} // namespace vek::test
