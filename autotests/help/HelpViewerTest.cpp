// The help collection built from the pages, and the viewer that shows it.
#include <gtest/gtest.h>

#include <QtHelp>
#include <QtTest/QSignalSpy>
#include <QtWidgets>
#include <map>

#include "HtmlHelp.h"
#include "help/Help.h"

namespace {

const QString kCollection = QStringLiteral(HELP_COLLECTION);

using namespace dcdrive;

// The dialogs' context numbers that have a page, and the page's title.
const std::map<unsigned, QString> kTopicPages{
    {kHelpDriveSetup, QStringLiteral("Drive Setup")},
    {kHelpMotorSetup, QStringLiteral("DC Motor Setup")},
    {kHelpAdvanced, QStringLiteral("Advanced")},
    {kHelpExternalReferenceSetup, QStringLiteral("External Reference Setup")},
    {kHelpAnalogueReferenceTest, QStringLiteral("Analogue Reference Test")},
    {kHelpIncrementalEncoderTest, QStringLiteral("Encoder Connections Test")},
    {kHelpSsiEncoderTest, QStringLiteral("Encoder Connections Test (SSI/BiSS)")},
    {kHelpCurrentTuningTest, QStringLiteral("Current Controller Tuning Test")},
    {kHelpSpeedTuningTest, QStringLiteral("Speed Controller Tuning Test")},
    {kHelpPositionTuningTest, QStringLiteral("Position Controller Tuning Test")},
    {kHelpTotalInertiaTest, QStringLiteral("Total inertia test")},
    {kHelpVdcDetectionTest, QStringLiteral("VDC Detection Test")}};

struct Keyword {
    QString name, id, ref;
};

// The keywords of the help project, as written in its source.
std::vector<Keyword> ProjectKeywords() {
    QFile file(QStringLiteral(HELP_PROJECT));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    std::vector<Keyword> keywords;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("keyword")) {
            const auto attributes = xml.attributes();
            keywords.push_back({attributes.value("name").toString(), attributes.value("id").toString(),
                                attributes.value("ref").toString()});
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return keywords;
}

QWidget* Help(unsigned command, std::uintptr_t data, const QString& path = kCollection) {
    return static_cast<QWidget*>(HtmlHelpA(nullptr, path.toLocal8Bit().constData(), command, data));
}

QWidget* OpenViewer() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QLatin1String("kxHelpViewer")) return widget;
    return nullptr;
}

// The keywords with an id are the topics of the contexts with a page, each
// named as "0x" and lowercase hex digits; the built collection finds its page.
TEST(HelpCollection, HoldsATopicForEveryContextWithAPage) {
    QHelpEngineCore engine(kCollection);
    engine.setReadOnly(true);
    ASSERT_TRUE(engine.setupData()) << engine.error().toStdString();
    const QRegularExpression topicId(QStringLiteral("^0x[0-9a-f]+$"));
    std::set<unsigned> withTopic;
    for (const Keyword& keyword : ProjectKeywords()) {
        if (keyword.id.isEmpty()) continue;
        SCOPED_TRACE(keyword.id.toStdString());
        EXPECT_TRUE(topicId.match(keyword.id).hasMatch());
        bool ok = false;
        const unsigned context = keyword.id.mid(2).toUInt(&ok, 16);
        ASSERT_TRUE(ok);
        EXPECT_TRUE(kTopicPages.count(context)) << "not a context with a page";
        withTopic.insert(context);
        const QList<QHelpLink> documents = engine.documentsForIdentifier(keyword.id);
        ASSERT_EQ(documents.size(), 1);
        EXPECT_TRUE(documents.first().url.toString().endsWith(keyword.ref));
        EXPECT_FALSE(engine.fileData(documents.first().url).isEmpty());
    }
    for (const auto& [context, title] : kTopicPages)
        EXPECT_TRUE(withTopic.count(context)) << "no topic for " << title.toStdString();
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

// Each context with a page opens the viewer at that page, through the
// viewer's entry point and through the plug-in's rule by the library's
// default name. The window reads well at any scale: the page gets most of
// the width, the tabs and the navigation row are not squeezed.
TEST_F(HelpViewer, ContextShowsItsPage) {
    for (const auto& [context, title] : kTopicPages) {
        SCOPED_TRACE(title.toStdString());
        QWidget* viewer = Help(HH_HELP_CONTEXT, context);
        ASSERT_NE(viewer, nullptr);
        EXPECT_EQ(viewer, OpenViewer());
        EXPECT_TRUE(viewer->isVisible());
        EXPECT_FALSE(viewer->isModal());
        EXPECT_EQ(viewer->windowTitle(), QStringLiteral("dcdrive Help"));
        EXPECT_EQ(viewer->property("helpContext").toUInt(), context);
        EXPECT_EQ(PageTitle(viewer), title);
        QCoreApplication::processEvents();
        auto* tabs = viewer->findChild<QTabWidget*>("helpTabs");
        EXPECT_GE(tabs->width(), tabs->minimumSizeHint().width());
        EXPECT_GT(viewer->findChild<QTextBrowser*>("helpBrowser")->width(), tabs->width());
        for (const char* name : {"helpBack", "helpForward", "helpHome"}) {
            auto* button = viewer->findChild<QToolButton*>(name);
            EXPECT_GE(button->width(), button->sizeHint().width()) << name;
        }
        Help(HH_CLOSE_ALL, 0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        OpenHelpFile(HELP_GUI_DIRECTORY, "dcdrive.qhc", context);
        viewer = OpenViewer();
        ASSERT_NE(viewer, nullptr);
        EXPECT_TRUE(viewer->isVisible());
        EXPECT_EQ(PageTitle(viewer), title);
    }
}

// One window per process: a second request reuses it; an unknown context
// shows the start page there and returns null; Back returns to the page
// before; closing ends the window.
TEST_F(HelpViewer, OneWindowReusedUntilClosed) {
    QPointer<QWidget> first = Help(HH_DISPLAY_TOPIC, 0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(PageTitle(first), QStringLiteral("dcdrive Help"));
    EXPECT_EQ(Help(HH_HELP_CONTEXT, kHelpDriveSetup), first.data());
    EXPECT_EQ(Help(HH_HELP_CONTEXT, 0x4ffff), nullptr);
    EXPECT_EQ(OpenViewer(), first.data());
    EXPECT_EQ(first->property("helpContext").toUInt(), 0u);
    EXPECT_EQ(PageTitle(first), QStringLiteral("dcdrive Help"));
    auto* back = first->findChild<QToolButton*>("helpBack");
    ASSERT_TRUE(back->isEnabled());
    back->click();
    EXPECT_EQ(PageTitle(first), QStringLiteral("Drive Setup"));
    EXPECT_TRUE(first->findChild<QToolButton*>("helpForward")->isEnabled());
    EXPECT_EQ(Help(HH_CLOSE_ALL, 0), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
}

// A file that is not there, or not a help collection, opens nothing and
// shows no message.
TEST_F(HelpViewer, UnusableFileGivesNull) {
    QTemporaryDir scratch;
    QFile text(scratch.filePath(QStringLiteral("notes.qhc")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a help collection\n");
    text.close();
    for (const QString& path :
         {scratch.filePath(QStringLiteral("missing.qhc")), text.fileName(), scratch.path()}) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_EQ(Help(HH_HELP_CONTEXT, kHelpDriveSetup, path), nullptr);
        EXPECT_EQ(OpenViewer(), nullptr);
        for (QWidget* widget : QApplication::topLevelWidgets())
            EXPECT_EQ(qobject_cast<QMessageBox*>(widget), nullptr);
    }
    EXPECT_EQ(QFileInfo(text.fileName()).size(), 22);
}

// The full-text search finds the page that uses a word, and its result opens
// it. The viewer reads a private copy: the collection file stays as built.
TEST_F(HelpViewer, SearchFindsAWordAndLeavesTheCollectionAsBuilt) {
    QFile collection(kCollection);
    ASSERT_TRUE(collection.open(QIODevice::ReadOnly));
    const QByteArray before = collection.readAll();
    collection.close();
    const QDateTime modified = QFileInfo(kCollection).lastModified();
    const QStringList filesBefore = QFileInfo(kCollection).dir().entryList(QDir::AllEntries | QDir::Hidden);

    QWidget* viewer = Help(HH_DISPLAY_TOPIC, 0);
    ASSERT_NE(viewer, nullptr);
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
    ASSERT_TRUE(collection.open(QIODevice::ReadOnly));
    EXPECT_EQ(collection.readAll(), before);
    EXPECT_EQ(QFileInfo(kCollection).lastModified(), modified);
    EXPECT_EQ(QFileInfo(kCollection).dir().entryList(QDir::AllEntries | QDir::Hidden), filesBefore);
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
