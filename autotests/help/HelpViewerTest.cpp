// The help collection built from the pages, and the viewer that shows it.
#include <gtest/gtest.h>

#include <QtHelp>
#include <QtTest/QSignalSpy>
#include <QtWidgets>
#include <fstream>
#include <map>
#include <set>

#include "HtmlHelp.h"
#include "help/Help.h"

namespace {

const QString kCollection = QStringLiteral(HELP_COLLECTION);

using namespace dcdrive;

// The dialogs' context numbers that have a page, and the page's title.
// clang-format off
const std::map<unsigned, QString> kTopicPages{
    {kHelpDriveSetup, "Drive Setup"}, {kHelpExternalReferenceSetup, "External Reference Setup"},
    {kHelpMotorSetup, "DC Motor Setup"}, {kHelpCurrentTuningTest, "Current Controller Tuning Test"},
    {kHelpAdvanced, "Advanced"}, {kHelpIncrementalEncoderTest, "Encoder Connections Test"},
    {kHelpAnalogueReferenceTest, "Analogue Reference Test"}, {kHelpVdcDetectionTest, "VDC Detection Test"},
    {kHelpSpeedTuningTest, "Speed Controller Tuning Test"}, {kHelpTotalInertiaTest, "Total inertia test"},
    {kHelpSsiEncoderTest, "Encoder Connections Test (SSI/BiSS)"},
    {kHelpPositionTuningTest, "Position Controller Tuning Test"}};
// clang-format on

QWidget* Help(unsigned command, std::uintptr_t data, const QString& path = kCollection) {
    return static_cast<QWidget*>(HtmlHelpA(nullptr, path.toLocal8Bit().constData(), command, data));
}

QWidget* OpenViewer() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QLatin1String("kxHelpViewer")) return widget;
    return nullptr;
}

// The help project gives each context with a page one keyword id, "0x" and lowercase hex digits, and no other
// keyword an id; the viewer finds pages by it.
TEST(HelpCollection, HoldsATopicForEveryContextWithAPage) {
    QFile project(QStringLiteral(HELP_PROJECT));
    ASSERT_TRUE(project.open(QIODevice::ReadOnly));
    const QRegularExpression id(QStringLiteral(R"re(<keyword\s[^>]*\bid="([^"]*)")re"));
    std::multiset<std::string> ids, expected;
    for (const QRegularExpressionMatch& match : id.globalMatch(QString::fromUtf8(project.readAll())))
        ids.insert(match.captured(1).toStdString());
    for (const auto& [context, title] : kTopicPages)
        expected.insert(QStringLiteral("0x%1").arg(context, 0, 16).toStdString());
    EXPECT_EQ(ids, expected);
}

class HelpViewer : public testing::Test {
protected:
    void TearDown() override {
        Help(HH_CLOSE_ALL, 0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(OpenViewer(), nullptr);
    }
    static QString PageTitle(QWidget* viewer) {
        return viewer->findChild<QTextBrowser*>("helpBrowser")->documentTitle();
    }
};

// The first request opens the one window that every later one reuses: a context shows its page, an unknown
// one the start page (and gives null), Back the page before; closing ends it. At any scale the page gets most
// of the width and the tabs and navigation row are not squeezed.
TEST_F(HelpViewer, OneWindowShowsEachContextsPageUntilClosed) {
    QPointer<QWidget> viewer;
    for (const auto& [context, title] : kTopicPages) {
        SCOPED_TRACE(title.toStdString());
        QWidget* shown = Help(HH_HELP_CONTEXT, context);
        ASSERT_NE(shown, nullptr);
        if (viewer.isNull()) viewer = shown;
        EXPECT_EQ(shown, viewer.data());
        EXPECT_EQ(shown, OpenViewer());
        EXPECT_TRUE(shown->isVisible());
        EXPECT_FALSE(shown->isModal());
        EXPECT_EQ(shown->windowTitle(), QStringLiteral("dcdrive Help"));
        EXPECT_EQ(shown->property("helpContext").toUInt(), context);
        EXPECT_EQ(PageTitle(shown), title);
        QCoreApplication::processEvents();
        auto* tabs = shown->findChild<QTabWidget*>("helpTabs");
        EXPECT_GE(tabs->width(), tabs->minimumSizeHint().width());
        EXPECT_GT(shown->findChild<QTextBrowser*>("helpBrowser")->width(), tabs->width());
        for (const char* name : {"helpBack", "helpForward", "helpHome"}) {
            auto* button = shown->findChild<QToolButton*>(name);
            EXPECT_GE(button->width(), button->sizeHint().width()) << name;
        }
    }
    EXPECT_EQ(Help(HH_HELP_CONTEXT, 0x4ffff), nullptr);
    EXPECT_EQ(OpenViewer(), viewer.data());
    EXPECT_EQ(viewer->property("helpContext").toUInt(), 0u);
    EXPECT_EQ(PageTitle(viewer), QStringLiteral("dcdrive Help"));
    auto* back = viewer->findChild<QToolButton*>("helpBack");
    ASSERT_TRUE(back->isEnabled());
    back->click();
    EXPECT_EQ(PageTitle(viewer), kTopicPages.rbegin()->second);
    EXPECT_TRUE(viewer->findChild<QToolButton*>("helpForward")->isEnabled());
    EXPECT_EQ(Help(HH_CLOSE_ALL, 0), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(viewer.isNull());
}

// A file that is not there, or not a help collection, opens nothing and shows no message.
TEST_F(HelpViewer, UnusableFileGivesNull) {
    QTemporaryDir scratch;
    const QString text = scratch.filePath(QStringLiteral("notes.qhc"));
    std::ofstream(text.toStdString()) << "not a help collection\n";
    for (const QString& path : {scratch.filePath(QStringLiteral("missing.qhc")), text, scratch.path()}) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_EQ(Help(HH_HELP_CONTEXT, kHelpDriveSetup, path), nullptr);
        EXPECT_EQ(OpenViewer(), nullptr);
        for (QWidget* widget : QApplication::topLevelWidgets())
            EXPECT_EQ(qobject_cast<QMessageBox*>(widget), nullptr);
    }
    EXPECT_EQ(QFileInfo(text).size(), 22);
}

// The full-text search finds the page that uses a word, and its result opens it. The viewer reads a private
// copy: the collection file stays as built.
TEST_F(HelpViewer, SearchFindsAWordAndLeavesTheCollectionAsBuilt) {
    // The collection's bytes, time of change and the files beside it.
    const auto state = [] {
        QFile collection(kCollection);
        EXPECT_TRUE(collection.open(QIODevice::ReadOnly));
        const QFileInfo info(kCollection);
        return std::tuple(collection.readAll(), info.lastModified(),
                          info.dir().entryList(QDir::AllEntries | QDir::Hidden));
    };
    const auto before = state();

    QWidget* viewer = Help(HH_DISPLAY_TOPIC, 0);
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(PageTitle(viewer), QStringLiteral("dcdrive Help"));  // the start page
    auto* search = viewer->findChild<QHelpSearchEngine*>();
    ASSERT_NE(search, nullptr);
    QSignalSpy indexed(search, &QHelpSearchEngine::indexingFinished);
    ASSERT_TRUE(indexed.wait(20000));
    auto* query = viewer->findChild<QHelpSearchQueryWidget*>("helpSearchQuery");
    ASSERT_NE(query, nullptr);
    query->findChild<QLineEdit*>()->setText(QStringLiteral("tachogenerator"));
    QSignalSpy searched(search, &QHelpSearchEngine::searchingFinished);
    QMetaObject::invokeMethod(query, "search");
    ASSERT_TRUE(searched.wait(20000));
    QUrl driveSetup;
    for (const QHelpSearchResult& result : search->searchResults(0, search->searchResultCount()))
        if (result.url().path().endsWith(QLatin1String("drivesetup.html"))) driveSetup = result.url();
    ASSERT_TRUE(driveSetup.isValid());
    auto* resultWidget = viewer->findChild<QHelpSearchResultWidget*>("helpSearchResults");
    ASSERT_NE(resultWidget, nullptr);
    emit resultWidget->requestShowLink(driveSetup);
    EXPECT_EQ(PageTitle(viewer), QStringLiteral("Drive Setup"));

    Help(HH_CLOSE_ALL, 0);
    EXPECT_TRUE(state() == before);
}

}  // namespace

int main(int argc, char** argv) {
    // Listing the tests needs the application too, outside the test environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    HtmlHelpA(nullptr, nullptr, HH_CLOSE_ALL, 0);
    return result;
}
