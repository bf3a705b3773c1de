// The help collection built from the pages, and the viewer that shows it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHelpContentModel>
#include <QHelpContentWidget>
#include <QHelpEngineCore>
#include <QHelpIndexModel>
#include <QHelpIndexWidget>
#include <QHelpLink>
#include <QHelpSearchEngine>
#include <QHelpSearchQueryWidget>
#include <QHelpSearchResultWidget>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QToolButton>
#include <QXmlStreamReader>
#include <map>

#include "HtmlHelp.h"
#include "help/Help.h"

namespace {

const QString kCollection = QStringLiteral(HELP_COLLECTION);

// Every dialog's context number and the title of its page, where it has one.
const std::map<unsigned, QString> kTopicPages{
    {dcdrive::kHelpDriveSetup, QStringLiteral("Drive Setup")},
};

const std::set<unsigned> kContexts{dcdrive::kHelpDriveSetup,
                                   dcdrive::kHelpMotorSetup,
                                   dcdrive::kHelpAdvanced,
                                   dcdrive::kHelpExternalReferenceSetup,
                                   dcdrive::kHelpCurrentTuningTest,
                                   dcdrive::kHelpSpeedTuningTest,
                                   dcdrive::kHelpPositionTuningTest,
                                   dcdrive::kHelpAnalogueReferenceTest,
                                   dcdrive::kHelpIncrementalEncoderTest,
                                   dcdrive::kHelpSsiEncoderTest,
                                   dcdrive::kHelpVdcDetectionTest,
                                   dcdrive::kHelpTotalInertiaTest};

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

QByteArray FileHash(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

// Waits for a signal unless what it announces is already done.
bool WaitFor(QSignalSpy& spy, const std::function<bool()>& done) {
    return done() || spy.count() > 0 || spy.wait(20000);
}

// Each keyword with an id names the topic of a dialog's context number, as
// "0x" and lowercase hex digits, and the built collection finds its page.
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
        EXPECT_TRUE(kContexts.count(context)) << "not a dialog's context number";
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
    static QTextBrowser* Browser(QWidget* viewer) { return viewer->findChild<QTextBrowser*>("helpBrowser"); }
    static QString PageTitle(QWidget* viewer) { return Browser(viewer)->documentTitle(); }
};

// Each context with a page opens the viewer at that page.
TEST_F(HelpViewer, ContextShowsItsPage) {
    for (const auto& [context, title] : kTopicPages) {
        SCOPED_TRACE(title.toStdString());
        QWidget* viewer = Help(HH_HELP_CONTEXT, context);
        ASSERT_NE(viewer, nullptr);
        EXPECT_EQ(viewer, OpenViewer());
        EXPECT_TRUE(viewer->isVisible());
        EXPECT_TRUE(viewer->isWindow());
        EXPECT_FALSE(viewer->isModal());
        EXPECT_EQ(viewer->windowTitle(), QStringLiteral("dcdrive Help"));
        EXPECT_EQ(viewer->property("helpContext").toUInt(), context);
        EXPECT_EQ(viewer->property("helpPath").toString(), kCollection);
        EXPECT_EQ(PageTitle(viewer), title);
    }
}

// An unknown context still shows the viewer, at the start page, and returns null.
TEST_F(HelpViewer, UnknownContextShowsTheStartPage) {
    ASSERT_NE(Help(HH_HELP_CONTEXT, dcdrive::kHelpDriveSetup), nullptr);
    EXPECT_EQ(Help(HH_HELP_CONTEXT, 0x4ffff), nullptr);
    QWidget* viewer = OpenViewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(viewer->property("helpContext").toUInt(), 0u);
    EXPECT_EQ(PageTitle(viewer), QStringLiteral("dcdrive Help"));
    // Back returns to the page shown before.
    auto* back = viewer->findChild<QToolButton*>("helpBack");
    ASSERT_TRUE(back->isEnabled());
    back->click();
    EXPECT_EQ(PageTitle(viewer), QStringLiteral("Drive Setup"));
    EXPECT_TRUE(viewer->findChild<QToolButton*>("helpForward")->isEnabled());
}

// One window per process: a second request reuses it; closing ends it.
TEST_F(HelpViewer, OneWindowReusedUntilClosed) {
    QPointer<QWidget> first = Help(HH_DISPLAY_TOPIC, 0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(PageTitle(first), QStringLiteral("dcdrive Help"));
    EXPECT_EQ(first->property("helpContext").toUInt(), 0u);
    EXPECT_EQ(Help(HH_HELP_CONTEXT, dcdrive::kHelpDriveSetup), first.data());
    EXPECT_EQ(Help(HH_CLOSE_ALL, 0), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(OpenViewer(), nullptr);
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
        EXPECT_EQ(Help(HH_HELP_CONTEXT, dcdrive::kHelpDriveSetup, path), nullptr);
        EXPECT_EQ(OpenViewer(), nullptr);
        for (QWidget* widget : QApplication::topLevelWidgets())
            EXPECT_EQ(qobject_cast<QMessageBox*>(widget), nullptr);
    }
    EXPECT_EQ(QFileInfo(text.fileName()).size(), 22);
}

// The viewer reads a private copy: the collection file stays as it was built.
TEST_F(HelpViewer, LeavesTheCollectionFileAsBuilt) {
    const QByteArray before = FileHash(kCollection);
    const QDateTime modified = QFileInfo(kCollection).lastModified();
    const QStringList filesBefore = QFileInfo(kCollection).dir().entryList(QDir::AllEntries | QDir::Hidden);
    QWidget* viewer = Help(HH_HELP_CONTEXT, dcdrive::kHelpDriveSetup);
    ASSERT_NE(viewer, nullptr);
    auto* search = viewer->findChild<QHelpSearchEngine*>();
    QSignalSpy indexed(search, &QHelpSearchEngine::indexingFinished);
    ASSERT_TRUE(indexed.wait(20000));
    Help(HH_CLOSE_ALL, 0);
    EXPECT_EQ(FileHash(kCollection), before);
    EXPECT_EQ(QFileInfo(kCollection).lastModified(), modified);
    EXPECT_EQ(QFileInfo(kCollection).dir().entryList(QDir::AllEntries | QDir::Hidden), filesBefore);
}

// The full-text search finds the page that uses a word, and its result opens it.
TEST_F(HelpViewer, SearchFindsAWordOfAPage) {
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
    ASSERT_GE(search->searchResultCount(), 1);
    const QList<QHelpSearchResult> results = search->searchResults(0, search->searchResultCount());
    QUrl driveSetup;
    for (const QHelpSearchResult& result : results)
        if (result.url().path().endsWith(QLatin1String("drivesetup.html"))) driveSetup = result.url();
    ASSERT_TRUE(driveSetup.isValid());

    auto* resultWidget = viewer->findChild<QHelpSearchResultWidget*>("helpSearchResults");
    ASSERT_NE(resultWidget, nullptr);
    emit resultWidget->requestShowLink(driveSetup);
    EXPECT_EQ(PageTitle(viewer), QStringLiteral("Drive Setup"));
}

// The index lists the keywords; its filter line narrows it, and Return opens
// the keyword's page.
TEST_F(HelpViewer, IndexHasTheKeywords) {
    QWidget* viewer = Help(HH_DISPLAY_TOPIC, 0);
    ASSERT_NE(viewer, nullptr);
    auto* index = viewer->findChild<QHelpIndexWidget*>("helpIndex");
    ASSERT_NE(index, nullptr);
    auto* model = qobject_cast<QHelpIndexModel*>(index->model());
    ASSERT_NE(model, nullptr);
    QSignalSpy created(model, &QHelpIndexModel::indexCreated);
    ASSERT_TRUE(WaitFor(created, [model] { return !model->isCreatingIndex() && model->rowCount() > 0; }));
    const QStringList listed = model->stringList();
    for (const Keyword& keyword : ProjectKeywords())
        EXPECT_TRUE(listed.contains(keyword.name)) << keyword.name.toStdString();

    auto* filter = viewer->findChild<QLineEdit*>("helpIndexFilter");
    ASSERT_NE(filter, nullptr);
    filter->setText(QStringLiteral("brake"));
    EXPECT_EQ(model->stringList(), QStringList{QStringLiteral("brake resistor")});
    emit filter->returnPressed();
    EXPECT_EQ(PageTitle(viewer), QStringLiteral("Drive Setup"));
}

// The contents list the start page with the dialogs' pages under it.
TEST_F(HelpViewer, ContentsListThePages) {
    QWidget* viewer = Help(HH_DISPLAY_TOPIC, 0);
    ASSERT_NE(viewer, nullptr);
    auto* contents = viewer->findChild<QHelpContentWidget*>("helpContents");
    ASSERT_NE(contents, nullptr);
    auto* model = qobject_cast<QHelpContentModel*>(contents->model());
    QSignalSpy created(model, &QHelpContentModel::contentsCreated);
    ASSERT_TRUE(WaitFor(created, [model] { return !model->isCreatingContents() && model->rowCount() > 0; }));
    ASSERT_EQ(model->rowCount(), 1);
    const QModelIndex root = model->index(0, 0);
    EXPECT_EQ(model->data(root, Qt::DisplayRole).toString(), QStringLiteral("dcdrive Help"));
    QStringList pages;
    for (int row = 0; row < model->rowCount(root); ++row)
        pages << model->data(model->index(row, 0, root), Qt::DisplayRole).toString();
    // Every dialog's page is listed, whatever pages are added beside them.
    for (const char* page :
         {"Drive Setup", "Drive info", "Motor inertia", "Advanced", "External Reference Setup", "Filters"})
        EXPECT_TRUE(pages.contains(QString::fromUtf8(page))) << page;
    ASSERT_TRUE(pages.contains(QStringLiteral("Motor inertia")));
    // Activating an entry opens its page.
    const int row = static_cast<int>(pages.indexOf(QStringLiteral("Motor inertia")));
    emit contents->linkActivated(model->contentItemAt(model->index(row, 0, root))->url());
    EXPECT_EQ(PageTitle(viewer), QStringLiteral("Motor inertia"));
}

// The plug-in's rule reaches the viewer library through its default name.
TEST_F(HelpViewer, OpenHelpFileShowsTheDialogsTopic) {
    dcdrive::OpenHelpFile(HELP_GUI_DIRECTORY, "dcdrive.qhc", dcdrive::kHelpDriveSetup);
    QWidget* viewer = OpenViewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(viewer->property("helpContext").toUInt(), dcdrive::kHelpDriveSetup);
    EXPECT_EQ(PageTitle(viewer), QStringLiteral("Drive Setup"));
}

// The window reads well at any scale: the page gets most of the width, the
// tabs and the navigation row are not squeezed below what they need.
// With KXHELP_SCREENSHOT set, the window is saved there as a PNG.
TEST_F(HelpViewer, LayoutLeavesRoomForEachPart) {
    QWidget* viewer = Help(HH_HELP_CONTEXT, dcdrive::kHelpDriveSetup);
    ASSERT_NE(viewer, nullptr);
    QCoreApplication::processEvents();
    auto* tabs = viewer->findChild<QTabWidget*>("helpTabs");
    QTextBrowser* browser = Browser(viewer);
    EXPECT_GE(tabs->width(), tabs->minimumSizeHint().width());
    EXPECT_GT(browser->width(), tabs->width());
    for (const char* name : {"helpBack", "helpForward", "helpHome"}) {
        auto* button = viewer->findChild<QToolButton*>(name);
        EXPECT_GE(button->width(), button->sizeHint().width()) << name;
    }
    const QImage image = viewer->grab().toImage();
    EXPECT_EQ(image.size(), viewer->size() * viewer->devicePixelRatio());
    const QString target = qEnvironmentVariable("KXHELP_SCREENSHOT");
    if (!target.isEmpty()) {
        const auto showTab = [&](int tab, const QString& suffix) {
            tabs->setCurrentIndex(tab);
            QCoreApplication::processEvents();
            viewer->grab().save(
                QString(target).replace(QStringLiteral(".png"), suffix + QStringLiteral(".png")));
        };
        showTab(0, QString());
        showTab(1, QStringLiteral("-index"));
        showTab(2, QStringLiteral("-search"));
    }
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
