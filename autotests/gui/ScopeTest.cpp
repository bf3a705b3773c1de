// The host's oscilloscope path on the virtual drive: frames through the
// communication layer into the scope logger, its settings, scales and records.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QTimer>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>

#include "DefaultSetup.h"
#include "drive/VirtualDrive.h"
#include "kx/ScopeFrame.h"
#include "kx/Setup.h"
#include "kx/VirtualDriveLink.h"
#include "kx/gui/Scope.h"

namespace {

// Raw drive variables (no unit): the record holds internal values, which
// makes the comparison with the drive's own log exact.
const struct {
    const char* name;
    int type, address;
} kChannels[] = {{"Speed_Reference", KX_TYPE_FIXED, 612}, {"Load_Speed", KX_TYPE_FIXED, 608},
                 {"Current_Reference", KX_TYPE_INT16, 646}, {"Motor_Current", KX_TYPE_INT16, 647}};

std::unique_ptr<CKX_Setup> ScopeSetup() {
    auto setup = std::make_unique<CKX_Setup>();
    for (const auto& c : kChannels)
        setup->AddVariable(std::make_unique<CKX_Variable>(c.name, "", c.type, c.address));
    return setup;
}

// A frame of one 16-bit channel: `count` values of a record of `points`.
std::vector<std::uint16_t> Frame(std::uint16_t count, std::uint16_t points, std::vector<std::uint16_t> values) {
    std::vector<std::uint16_t> frame(kx::kScopeHeaderWords, 0);
    frame[kx::kScopeChannels] = 1;
    frame[kx::kScopePointCount] = count;
    frame[kx::kScopeRecordPoints] = points;
    frame.insert(frame.end(), values.begin(), values.end());
    return frame;
}

std::unique_ptr<vdrive::VirtualDrive> TunedDrive() {
    vdrive::Plant plant;
    std::string error;
    EXPECT_TRUE(vdrive::ParsePlant(dcdrive::DefaultPlantJson(), plant, error)) << error;
    return std::make_unique<vdrive::VirtualDrive>(plant);
}

// The frame handler the tests register: frames to the logger, and the
// decoded raw words kept to compare with the drive's log.
CKX_ScopeLogger* g_logger = nullptr;
std::vector<std::int64_t> g_raw;  // channel 0 by record index
int g_frames = 0;
void OnFrame(const std::uint16_t* message) {
    if (message[kx::kMessageCodeWord] != kx::kScopeFrameCode || !g_logger) return;
    const int words = message[kx::kMessageLengthWord];
    if (g_logger->OnFrameReceive(words * 2, message + kx::kMessagePayloadWord) >= 1) ++g_frames;
    kx::ScopeFrame frame;
    std::string error;
    std::vector<int> types(g_logger->GetChannels().size(), KX_TYPE_FIXED);
    types[2] = types[3] = KX_TYPE_INT16;
    ASSERT_TRUE(kx::DecodeScopeFrame(message + kx::kMessagePayloadWord, static_cast<std::size_t>(words),
                                     types, frame, error))
        << error;
    for (int k = 0; k < frame.count; ++k) {
        const auto index = static_cast<std::size_t>(frame.first + k);
        if (g_raw.size() <= index) g_raw.resize(index + 1);
        g_raw[index] = frame.raw[static_cast<std::size_t>(k) * types.size()];
    }
}
void OtherHandler(const std::uint16_t*) {}

TEST(ScopeLogger, FramesOfASpeedRampDecodeToTheDrivesSamplesAndTheHandlerIsRestored) {
    const struct {
        const char* what;
        int mode;
        double level;  // speed reference, counts per sample
        int pretrigger;
        bool completes;  // the single-shot record ends the upload
    } cases[] = {
        {"single shot at the ramp's top", KX_SCOPE_SINGLE_SHOT, 19.0, 40, true},
        {"repeating", KX_SCOPE_REPEATING, 10.0, 10, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto setup = ScopeSetup();
        auto drive = TunedDrive();
        kx::VirtualDriveLink link(*drive);
        CKX_Comm::SetActiveLink(&link);
        const auto previous = CKX_Comm::RegisterReceiveUnsolicitedMsgHandler(&OtherHandler);
        CKX_ScopeLogger logger(*setup, nullptr);
        for (const auto& channel : kChannels) ASSERT_EQ(logger.AddVariable(channel.name, 1), 1);
        EXPECT_EQ(logger.AddVariable("MER", 1), 0) << "a fifth channel";
        ASSERT_EQ(
            logger.ChangeSettings(0.2, c.mode, KX_SCOPE_RISING, "Speed_Reference", c.level, c.pretrigger), 1);
        ASSERT_EQ(logger.LocateItems(), 1) << logger.GetError();
        std::string error;
        ASSERT_EQ(logger.ArmDrive(link, error), 1) << error;
        // The drive's logger records the same variable at the same loop.
        drive->ArmLogger(
            {.points = 2000, .fastLoop = false, .columns = {{"Speed_Reference", 612, vdrive::Type::Fixed}}});
        ASSERT_TRUE(drive->StartMotion({.mode = vdrive::LoopMode::Speed,
                                        .segments = {{100, 65536 / 5}, {300, 0}, {100, -65536 / 5}, {100, 0}},
                                        .repeat = true}))
            << drive->LastError();

        const kx::UnsolicitedMsgHandler ours = &OnFrame;
        EXPECT_EQ(CKX_Comm::RegisterReceiveUnsolicitedMsgHandler(ours), &OtherHandler);
        g_logger = &logger;
        g_raw.clear();
        g_frames = 0;
        for (double t = 0.001; t < 1.2 && !logger.DoGracefulStop(); t += 0.001) {
            link.AdvanceTo(t);
            CKX_Comm::CheckForUnrequestedMessages(nullptr);
        }
        EXPECT_EQ(logger.DoGracefulStop() != 0, c.completes);
        EXPECT_GT(g_frames, 0);
        EXPECT_EQ(logger.GetFramesLost(), 0);
        ASSERT_EQ(logger.GetPointsNo(), 200);
        // The first record: where the reference crosses the level and the
        // drive's own log at the same samples, word for word.
        const auto& logged = drive->Logged();
        const int trigger = 200 * c.pretrigger / 100;
        std::size_t crossing = 0;
        while (crossing < logged.size() &&
               logged[crossing].values[0] < static_cast<std::int64_t>(c.level * 65536))
            ++crossing;
        ASSERT_GE(crossing, static_cast<std::size_t>(trigger));
        for (int i = 0; i < 200 && c.completes; ++i)
            EXPECT_EQ(g_raw.at(static_cast<std::size_t>(i)), logged.at(crossing - trigger + i).values[0])
                << i;
        const auto& columns = logger.GetGraphDocument()->Columns();
        const auto at = static_cast<std::size_t>(trigger);
        EXPECT_DOUBLE_EQ(columns[1].values.at(at), static_cast<double>(g_raw[at]) / 65536.0);
        EXPECT_DOUBLE_EQ(columns[0].values.at(at), 0.0);  // the time counts from the trigger

        // Stop: the stream ends with the stopped frame; the dialog's
        // destructor puts the handler back that was there before.
        drive->Stop();
        CKX_Comm::CheckForUnrequestedMessages(nullptr);
        EXPECT_TRUE(logger.DoGracefulStop());
        logger.EndUploadData();
        EXPECT_FALSE(logger.UploadInProgress());
        EXPECT_EQ(CKX_Comm::RegisterReceiveUnsolicitedMsgHandler(previous), ours);
        EXPECT_EQ(CKX_Comm::GetReceiveUnsolicitedMsgHandler(), previous);
        g_logger = nullptr;
        CKX_Comm::SetActiveLink(nullptr);
    }
}

TEST(ScopeLogger, AFrameThatDoesNotFitIsRefusedAndARecordSavedOpensAgainAutoscaled) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "dcdrive-scope-test";
    kx::SetPlotFolder(folder.string());
    auto setup = ScopeSetup();
    CKX_ScopeLogger logger(*setup, nullptr);
    ASSERT_EQ(logger.AddVariable("Motor_Current", 1), 1);
    ASSERT_EQ(logger.LocateItems(), 1);
    EXPECT_EQ(logger.Autoscale(), 0) << "nothing to scale on";
    // Two points of one 16-bit channel: a frame of two words of values.
    const struct {
        const char* what;
        std::vector<std::uint16_t> values;
        std::uint16_t channels;
        int result;
    } cases[] = {{"fits", {0xFFFF, 7}, 1, 2}, {"a word short", {0xFFFF}, 1, -1},
                 {"another channel count", {0xFFFF, 7}, 2, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint16_t> frame = Frame(2, 10, c.values);
        frame[kx::kScopeChannels] = c.channels;
        EXPECT_EQ(logger.OnFrameReceive(static_cast<int>(frame.size() * 2), frame.data()), c.result);
    }
    EXPECT_DOUBLE_EQ(logger.GetGraphDocument()->Columns()[1].values[0], -1.0);
    int first = -1, count = -1;
    logger.GetPointsToBeDrawn(first, count);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(count, 10);  // a new layout draws the whole record
    std::vector<std::uint16_t> frame = Frame(4, 4, {100, 300, 700, 900});
    frame[kx::kScopePeriodLow] = 1000;
    ASSERT_EQ(logger.OnFrameReceive(static_cast<int>(frame.size() * 2), frame.data()), 4);
    ASSERT_EQ(logger.Autoscale(), 1);
    const auto& ch = logger.GetChannels()[0];
    EXPECT_DOUBLE_EQ(ch.step, 100.0);  // 800 over 8 divisions
    EXPECT_DOUBLE_EQ(ch.offset, 500.0);
    ASSERT_EQ(logger.Save("Run1"), 1) << logger.GetError();
    CKX_ScopeLogger opened(*setup, nullptr);
    ASSERT_EQ(opened.Load("Run1"), 1) << opened.GetError();
    EXPECT_EQ(opened.GetGraphDocument()->Columns()[1].values, logger.GetGraphDocument()->Columns()[1].values);
    EXPECT_EQ(opened.GetChannels()[0].step, 100.0);
    EXPECT_EQ(opened.Load("NoSuchRecord"), 0);
    EXPECT_FALSE(opened.GetError().empty());
    ASSERT_EQ(logger.SaveGraph("Run1"), 1) << logger.GetError();
    EXPECT_TRUE(std::filesystem::exists(folder / "Run1.png"));
    std::filesystem::remove_all(folder);
    kx::SetPlotFolder("");
}

TEST(ScopeLogger, SettingsRoundTripThroughTheSetupOptionAndScalesStep) {
    auto setup = ScopeSetup();
    CKX_ScopeLogger logger(*setup, nullptr);
    for (const auto& channel : kChannels) logger.AddVariable(channel.name, 1);
    ASSERT_EQ(logger.ChangeSettings(0.35, KX_SCOPE_REPEATING, KX_SCOPE_FALLING, "Load_Speed", -12.5, 17), 1);
    ASSERT_EQ(logger.RescaleVariable("Motor_Current", "", 200.0, 400.0), 1);
    EXPECT_EQ(logger.RescaleVariable("Nothing", "", 1.0, 0.0), 0);
    EXPECT_EQ(logger.ChangeSettings(0.0, KX_SCOPE_REPEATING, 1, nullptr, 0, 0), 0);
    EXPECT_EQ(logger.ChangeSettings(0.1, 3, 1, nullptr, 0, 0), 0);
    ASSERT_EQ(logger.SaveSettingsToSetupOption("SpeedTuningOscSettings"), 1);

    CKX_ScopeLogger other(*setup, nullptr);
    EXPECT_EQ(other.LoadSettingsFromSetupOption("PositionTuningOscSettings"), 0);
    ASSERT_EQ(other.LoadSettingsFromSetupOption("SpeedTuningOscSettings"), 1);
    EXPECT_EQ(other.SettingsText(), logger.SettingsText());
    EXPECT_EQ(other.GetMode(), KX_SCOPE_REPEATING);
    EXPECT_EQ(other.GetSlope(), KX_SCOPE_FALLING);
    EXPECT_EQ(other.GetTriggerName(), "Load_Speed");
    EXPECT_EQ(other.GetPretrigger(), 17);
    ASSERT_EQ(other.GetChannels().size(), 4u);
    EXPECT_EQ(other.GetGraphDocument()->Columns().size(), 5u);

    setup->SetOption("SpeedTuningOscSettings", "{not settings");
    EXPECT_EQ(other.LoadSettingsFromSetupOption("SpeedTuningOscSettings"), 0);
    EXPECT_EQ(other.GetTimeBase(), 0.35) << "a failed load keeps the settings";

    // Channel scales move along 1-2-5.
    const struct {
        int channel, scale;
        double step;
        int result;
    } steps[] = {{3, 1, 500.0, 1}, {3, 1, 1000.0, 1}, {3, -2, 200.0, 1},
                 {0, -1, 0.5, 1},  {4, 1, 0, 0},      {1, 0, 0, 0}};
    for (const auto& s : steps) {
        SCOPED_TRACE(s.channel * 100 + s.scale);
        EXPECT_EQ(other.ChangeChannelScale(s.channel, s.scale), s.result);
        if (s.result) {
            EXPECT_DOUBLE_EQ(other.GetChannels()[static_cast<std::size_t>(s.channel)].step, s.step);
        }
    }
}

}  // namespace

// The level is kept in the variable's base unit and shown in the unit its
// channel's scale is read in; another trigger variable shows it in its own.
TEST(ScopeLogger, SettingsEditorShowsTheLevelInTheTriggerChannelsUnit) {
    CKX_Setup setup;
    setup.AddVariable(std::make_unique<CKX_Variable>("Speed_Reference", "rad/s", KX_TYPE_FIXED, 612));
    setup.AddVariable(std::make_unique<CKX_Variable>("Motor_Current", "A", KX_TYPE_INT16, 647));
    CKX_ScopeLogger logger(setup, nullptr);
    for (const char* name : {"Speed_Reference", "Motor_Current"}) logger.AddVariable(name, 1);
    ASSERT_EQ(logger.RescaleVariable("Speed_Reference", "rpm", 500.0, 1000.0), 1);
    const double rpm = 2.0 * M_PI / 60.0;
    ASSERT_EQ(logger.ChangeSettings(0.5, KX_SCOPE_SINGLE_SHOT, KX_SCOPE_RISING, "Speed_Reference", 1500 * rpm, 10), 1);
    std::vector<std::pair<QString, double>> shown;  // suffix and value of the level, then of a middle line
    QTimer::singleShot(0, [&] {
        auto* editor = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(editor, nullptr);
        auto* level = editor->findChild<QDoubleSpinBox*>("level");
        auto* trigger = editor->findChild<QComboBox*>("trigger");
        auto* middle = editor->findChild<QDoubleSpinBox*>("offset1");
        const auto take = [&](QDoubleSpinBox* box) { shown.emplace_back(box->suffix(), box->value()); };
        take(level);
        take(middle);
        trigger->setCurrentIndex(trigger->findData("Motor_Current"));
        take(level);
        trigger->setCurrentIndex(trigger->findData(""));
        shown.emplace_back(QString(level->isEnabled() ? "enabled" : "disabled"), 0.0);
        trigger->setCurrentIndex(trigger->findData("Speed_Reference"));
        take(level);
        level->setValue(3000.0);
        editor->accept();
    });
    EXPECT_EQ(logger.Edit(nullptr), 1);
    const std::vector<std::pair<QString, double>> expected = {
        {" rpm", 1500.0}, {" rpm", 1000.0}, {" A", 1500 * rpm}, {"disabled", 0.0}, {" rpm", 1500.0}};
    ASSERT_EQ(shown.size(), expected.size());
    for (std::size_t i = 0; i < shown.size(); ++i) {
        EXPECT_EQ(shown[i].first, expected[i].first) << i;
        EXPECT_NEAR(shown[i].second, expected[i].second, 1e-6) << i;
    }
    EXPECT_NEAR(logger.GetTriggerLevel(), 3000 * rpm, 1e-9);
}
