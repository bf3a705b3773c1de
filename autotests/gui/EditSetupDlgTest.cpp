// The editor base and the script player on real widgets. What each control of
// a real editor shows: the editors' tests.
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>
#include <stdexcept>

#include "GuiTest.h"
#include "kx/Setup.h"
#include "kx/gui/Clock.h"
#include "kx/gui/EditSetupDlg.h"
#include "kx/gui/Resources.h"
#include "kx/gui/ValueText.h"

namespace {

constexpr unsigned kTemplate = 9001;

template <class W>
W* Add(QDialog& dialog, QLayout* layout, unsigned id, const char* text = nullptr) {
    auto* widget = new W(&dialog);
    widget->setProperty("ctrlId", id);
    if constexpr (std::is_base_of_v<QAbstractButton, W>)
        if (text) widget->setText(text);
    layout->addWidget(widget);
    return widget;
}

void BuildTestTemplate(QDialog& dialog) {
    dialog.setWindowTitle("Test editor");
    dialog.setProperty("templateId", kTemplate);
    auto* layout = new QVBoxLayout(&dialog);
    for (unsigned id : {100u, 121u, 124u}) Add<QLineEdit>(dialog, layout, id);
    Add<QLineEdit>(dialog, layout, 111)->setReadOnly(true);
    for (unsigned id : {101u, 106u}) Add<QComboBox>(dialog, layout, id);
    Add<QCheckBox>(dialog, layout, 102, "Flag");
    auto* group = new QGroupBox("Mode", &dialog);
    auto* radios = new QVBoxLayout(group);
    for (unsigned id = 103; id <= 105; ++id) Add<QRadioButton>(dialog, radios, id, "Mode");
    layout->addWidget(group);
    Add<QSlider>(dialog, layout, 120)->setOrientation(Qt::Horizontal);
    for (const auto& [id, text] : {std::pair{110u, "Action"}, {122u, "<"}, {123u, ">"}, {10005u, "Previous"},
                                   {10006u, "Next"}, {1u, "OK"}, {2u, "Cancel"}})
        Add<QPushButton>(dialog, layout, id, text);
    Add<QPlainTextEdit>(dialog, layout, 10007)->setReadOnly(true);
}

const kx::ResourceModule& TestModule() {
    static const kx::ResourceModule module{"test", {{kTemplate, &BuildTestTemplate}}, {}, {}, {}, {}};
    return module;
}

const kx::ModuleRegistration g_registration(TestModule());

const char* kSteps[] = {"Step 1. First", "Step 2. Second", "Step 3. Third", nullptr};

class TestEditor : public CKX_EditSetupDlg {
public:
    explicit TestEditor(CKX_Setup& setup, bool steps = true)
        : CKX_EditSetupDlg(setup, kTemplate, 1, steps ? kSteps : nullptr, nullptr) {
        AddParameterControls("Vdc", 100, 101);
        AddCheckParameterControls("Flag", 102);
        AddSwitchParameterControls("Mode", 103, 105);
        AddSwitchParameterControls("Type", 106);
        AddParameterControls("Shown", 111, 0);
        AddSliderParameterControls("Bandwidth", 120, 121, 0, 122, 123, 100.0, 300.0);
        m_owned.SetPrecision(1);
        m_owned.SetValueInBaseUnit(7.5);
        AddUserParameterControls(&m_owned, 124, 0);
    }
    CKX_Parameter m_owned{"Owned", "A"};
    std::vector<std::string> events;
    int timerFired = 0;
    bool throwOnAction = false;

    void OnAction() {
        events.push_back("action");
        if (throwOnAction) throw std::runtime_error("handler failed");
        SetTimer(7, 20);
    }

protected:
    BOOL OnInitDialog() override {
        if (auto* list = qobject_cast<QComboBox*>(GetDlgItem(106))) {
            // Item data with gaps: the value is the data, not the position.
            for (const auto& [text, data] : {std::pair{"Low pass", 0}, {"Notch", 4}, {"Peak", 7}})
                list->addItem(text, data);
        }
        return CKX_EditSetupDlg::OnInitDialog();
    }
    void DoDataExchange(CDataExchange* pDX) override {
        CKX_EditSetupDlg::DoDataExchange(pDX);
        if (!pDX->m_bSaveAndValidate) events.push_back("load");
    }
    void OnChangedParameterValue(const char* name) override {
        events.push_back(std::string("changed ") + name);
    }
    void OnRefreshParameterValue(const char* name) override {
        events.push_back(std::string("refresh ") + name);
    }
    void OnChangedParameterUnit(const char* name) override { events.push_back(std::string("unit ") + name); }
    void OnTimer(UINT id) override {
        if (id != 7) return;
        ++timerFired;
        if (timerFired == 3) KillTimer(7);
    }
    const kx::MessageMap* GetMessageMap() const override {
        static const kx::MessageMapEntry entries[] = {KX_ON_CLICKED(110, TestEditor::OnAction)};
        static const kx::MessageMap map{CKX_EditSetupDlg::GetMessageMap(), entries};
        return &map;
    }
};

std::unique_ptr<CKX_Setup> MakeSetup() {
    auto setup = std::make_unique<CKX_Setup>();
    CKX_Parameter* vdc = setup->AddParameter("Vdc", "V");
    vdc->SetMinInBaseUnit(12);
    vdc->SetMaxInBaseUnit(90);
    vdc->SetPrecision(3);
    vdc->SetValueInBaseUnit(48);
    for (const char* name : {"Flag", "Mode", "Type"}) setup->AddParameter(name)->SetPrecision(0);
    setup->FindParameter("Type")->SetValueInBaseUnit(4);
    setup->AddParameter("Shown", "A")->SetValueInBaseUnit(1.5);
    setup->AddParameter("Bandwidth", "Hz")->SetValueInBaseUnit(200);
    return setup;
}

// The number as the user's locale writes it.
std::string Shown(double value, int digits) { return kx::FormatDisplayNumber(value, digits).toStdString(); }

// The test editor on a fresh setup.
struct EditSetupDlg : ::testing::Test {
    std::unique_ptr<CKX_Setup> setup = MakeSetup();
    TestEditor editor{*setup};
    dctest::ScriptRun Run(const std::string& script) {
        return dctest::RunScript(script, [&] { return editor.DoModal(); });
    }
    double Value(const char* name) const { return setup->FindParameter(name)->GetValueInBaseUnit(); }
};

TEST_F(EditSetupDlg, ShowsValuesInTheirUnitAndReadsBothNotations) {
    EXPECT_TRUE(editor.AuditProblems().empty());
    // The user's own notation first (a decimal comma where the locale has one),
    // then the C notation.
    const std::string own = QLocale().decimalPoint() == u',' ? "2,5e1" : "2.5e1";
    const auto run = Run("expect \"Test editor\"\nassert 100 text \"" + Shown(48, 3) + "\"\nset 100 \"" + own +
                         "\"\nassert 100 value 25\nset 100 24.5\nunit 101 mV\n"
                         "assert 100 value 24500\nset 100 30000\nclick 1\n");
    EXPECT_HELD(run);
    EXPECT_EQ(run.result, IDOK);
    EXPECT_DOUBLE_EQ(Value("Vdc"), 30.0);
    EXPECT_EQ(setup->FindParameter("Vdc")->GetUnitName(), "mV");
}

TEST_F(EditSetupDlg, RefusesWhatIsNotANumberOrOutsideTheLimits) {
    const std::string limits = "from " + Shown(12, 3) + " to " + Shown(90, 3) + " V.";
    const std::string unchanged = "click ok\nassert 100 text \"" + Shown(48, 3) + "\"\n";
    // Half of the last shown digit beyond a limit is the limit.
    EXPECT_HELD(Run("set 100 abc\nmessage \"\\\"abc\\\" is not a number. Enter a value of \\\"Vdc\\\" " + limits +
                    "\"\n" + unchanged + "set 100 95\nmessage \"95 V is outside the limits of \\\"Vdc\\\". Enter a value " +
                    limits + "\"\n" + unchanged + "set 100 90.0004\nassert 100 value 90\nclick 2\n"));
    EXPECT_DOUBLE_EQ(Value("Vdc"), 90.0);
}

TEST_F(EditSetupDlg, NotifiesInOrderAndLoadingIsNoChange) {
    // The same value again is no change.
    EXPECT_HELD(Run("click 102\nclick 104\nselect 106 7\nselect 106 \"Low pass\"\nset 100 50\nset 100 50\nclick 2\n"));
    const std::vector<std::string> expected{
        "load",                          // OnInitDialog
        "changed Flag", "refresh Flag",  // a check box
        "changed Mode", "refresh Mode",  // the second radio of the run
        "changed Type", "refresh Type",  // the item's data
        "changed Type", "refresh Type", "changed Vdc", "refresh Vdc",
    };
    EXPECT_EQ(editor.events, expected);
    EXPECT_EQ(std::vector<double>({Value("Flag"), Value("Mode"), Value("Type")}), std::vector<double>({1, 1, 0}));
}

TEST_F(EditSetupDlg, SliderButtonsOwnedParametersMessageMapAndTimersInHostTime) {
    const double start = kx::HostClock::Instance().Now();
    // A button moves one hundredth of the slider's range, not beyond its end.
    EXPECT_HELD(Run("assert 121 value 200\nclick 123\nassert 121 value 202\nclick 122\nclick 122\n"
                    "assert 121 value 198\nset 121 300\nclick 123\nassert 121 value 300\nset 124 2.5\n"
                    "click 110\nwait 0.1\nclick 1\n"));
    EXPECT_EQ(editor.timerFired, 3);  // every 20 ms until it killed itself
    EXPECT_NEAR(kx::HostClock::Instance().Now() - start, 0.1, 1e-9);
    EXPECT_DOUBLE_EQ(Value("Bandwidth"), 300.0);
    auto* slider = qobject_cast<QSlider*>(editor.GetDlgItem(120));
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->value(), slider->maximum());
    EXPECT_DOUBLE_EQ(editor.m_owned.GetValueInBaseUnit(), 2.5);  // a parameter outside the setup
}

TEST_F(EditSetupDlg, GuidelineAssistantStepsOneAtATime) {
    EXPECT_HELD(Run("assert 10007 text \"Step 1. First\"\nassert 10005 disabled\nclick 10006\nclick 10006\n"
                    "assert 10007 text \"Step 3. Third\"\nassert 10006 disabled\nclick 10005\n"
                    "assert 10007 text \"Step 2. Second\"\nclick 2\n"));
    TestEditor plain(*setup, false);
    EXPECT_HELD(dctest::RunScript("assert 10006 disabled\nassert 10005 disabled\nclick 2\n",
                                  [&] { return plain.DoModal(); }));
}

// Escape: the editors' DialogsTest.cpp.
TEST_F(EditSetupDlg, ClosingTheWindowCountsAsCancel) {
    QTimer::singleShot(0, [&] { editor.GetWindow()->close(); });
    EXPECT_EQ(editor.DoModal(), IDCANCEL);
}

TEST_F(EditSetupDlg, AnExceptionInAHandlerClosesTheDialogAndPassesOn) {
    editor.throwOnAction = true;
    kx::ScriptPlayer player(kx::ParseScript("click 110\n"), {});
    player.Start();
    EXPECT_THROW(editor.DoModal(), std::runtime_error);
    EXPECT_TRUE(player.Finish()) << player.FailureMessage();
    EXPECT_EQ(kx::ScriptPlayer::TopWindow(), nullptr);
}

TEST(ScriptPlayer, SaysWhatWasFoundWhenAStepDoesNotHold) {
    auto setup = MakeSetup();
    const struct {
        const char* script;
        const char* says;
    } cases[] = {
        {"expect Other\n",
         "line 1: expect Other: did not hold: the window on top is \"Test editor\" (template 9001)"},
        {"assert 102 checked\n", "control 102 is {\"id\":102,\"class\":\"QCheckBox\",\"text\":\"Flag\""},
        {"click 999\n", "it has no control 999"},
        {"message hello\n", "the window on top is \"Test editor\""},
        {"click yes\n", "did not hold"},
        {"select 106 5\n", "has no item \"5\""},
        {"set 111 5\n", "line 1: set 111 5: did not hold"},  // a read-only field refuses the user
        {"set 111 5\n", "read-only"},
        {"dump\n", "the script ended while a window is still open: the window on top is \"Test editor\""},
        // Steps left after the session ended find no window.
        {"click 1\nexpect \"Test editor\"\n",
         "line 2: expect \"Test editor\": did not hold: no window is open"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        TestEditor editor(*setup);
        const auto run = dctest::RunScript(c.script, [&] { return editor.DoModal(); });
        EXPECT_FALSE(run.held);
        EXPECT_NE(run.failure.find(c.says), std::string::npos) << run.failure;
        EXPECT_EQ(kx::ScriptPlayer::TopWindow(), nullptr);  // the player closed what was left open
    }
}

TEST(HostClock, VirtualTimersFireInTimeOrder) {
    auto& clock = kx::HostClock::Instance();
    std::vector<std::string> fired;
    int a = 0, b = 0;
    clock.SetTimer(&a, 1, 30, [&] { fired.push_back("a"); });
    clock.SetTimer(&b, 1, 20, [&] { fired.push_back("b"); });
    double seen = 0.0;
    const int listener = clock.AddListener([&](double now) { seen = now; });
    const double start = clock.Now();
    clock.AdvanceTo(start + 0.065);
    // At 60 ms both are due: the one set first fires first.
    EXPECT_EQ(fired, (std::vector<std::string>{"b", "a", "b", "a", "b"}));
    EXPECT_DOUBLE_EQ(seen, start + 0.065);
    clock.KillTimers(&a);
    clock.KillTimer(&b, 1);
    clock.RemoveListener(listener);
    EXPECT_FALSE(clock.HasTimers());
}

TEST(ValueText, ReadsTheUsersAndTheCNotation) {
    CKX_Parameter p("R", "Ohm");
    p.SetMinInBaseUnit(0);
    p.SetMaxInBaseUnit(100);
    p.SetPrecision(2);
    const QString comma = QLocale().decimalPoint() == u',' ? "2,5" : "2.5";
    for (const QString& typed : {QString("2.5"), comma, QString(" 2.5 "), QString("+2.5")}) {
        const auto read = kx::ReadDisplayValue(p, typed);
        EXPECT_TRUE(read.status == kx::ReadStatus::Ok && read.value == 2.5) << typed.toStdString();
    }
    for (const QString& typed :
         {QString(""), QString("2.5 V"), QString("1,000.5"), QString("nan"), QString("inf")})
        EXPECT_EQ(kx::ReadDisplayValue(p, typed).status, kx::ReadStatus::NotANumber) << typed.toStdString();
    for (const QString& typed : {QString("100.006"), QString("-0.01")})
        EXPECT_EQ(kx::ReadDisplayValue(p, typed).status, kx::ReadStatus::OutsideLimits);
    EXPECT_EQ(kx::FormatDisplayNumber(-0.0001, 2), kx::FormatDisplayNumber(0, 2));
    CKX_Parameter open("x");
    EXPECT_EQ(kx::InvalidValueMessage(open, "q", kx::ReadStatus::NotANumber),
              "\"q\" is not a number. Enter a number for \"x\".");
}

}  // namespace
