#include "HelpViewer.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHelpContentWidget>
#include <QHelpEngine>
#include <QHelpEngineCore>
#include <QHelpIndexWidget>
#include <QHelpLink>
#include <QHelpSearchEngine>
#include <QHelpSearchQueryWidget>
#include <QHelpSearchResultWidget>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QScreen>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace kxhelp {

namespace {

// Settings that the help generator writes into a collection.
constexpr auto kTitleKey = "WindowTitle";
constexpr auto kStartPageKey = "defaultHomepage";

}  // namespace

HelpBrowser::HelpBrowser(QHelpEngine& engine, QWidget* parent) : QTextBrowser(parent), engine_(engine) {}

QVariant HelpBrowser::loadResource(int type, const QUrl& name) {
    if (name.scheme() == QLatin1String("qthelp")) return engine_.fileData(name);
    return QTextBrowser::loadResource(type, name);
}

QString HelpViewer::TopicId(unsigned context) { return QStringLiteral("0x") + QString::number(context, 16); }

std::unique_ptr<HelpViewer> HelpViewer::Open(const QString& path) {
    const QFileInfo file(path);
    if (!file.isFile() || !file.isReadable()) return nullptr;

    auto copyDir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/kxhelp-XXXXXX"));
    if (!copyDir->isValid()) return nullptr;
    // The documentation files the collection registers, where they lie. Read
    // only: the engine neither creates nor writes the file it opens.
    QMap<QString, QString> documentation;
    {
        QHelpEngineCore original(file.absoluteFilePath());
        original.setReadOnly(true);
        if (!original.setupData()) return nullptr;
        for (const QString& ns : original.registeredDocumentations())
            documentation.insert(ns, original.documentationFileName(ns));
    }
    if (documentation.isEmpty()) return nullptr;
    const QString copy = copyDir->filePath(file.fileName());
    if (!QFile::copy(file.absoluteFilePath(), copy)) return nullptr;
    // The file is copied as it is (the engine's own copy drops the collection's
    // cached index); a documentation file registered by a relative path is
    // registered again from where the original finds it.
    {
        QHelpEngineCore engine(copy);
        if (!engine.setupData()) return nullptr;
        for (auto it = documentation.cbegin(); it != documentation.cend(); ++it) {
            if (QFileInfo::exists(engine.documentationFileName(it.key()))) continue;
            if (!engine.unregisterDocumentation(it.key()) || !engine.registerDocumentation(it.value()))
                return nullptr;
        }
    }
    std::unique_ptr<HelpViewer> viewer(new HelpViewer(path, std::move(copyDir), copy));
    if (!viewer->SetUp()) return nullptr;
    return viewer;
}

HelpViewer::HelpViewer(const QString& path, std::unique_ptr<QTemporaryDir> copyDir, const QString& copy)
    : QWidget(nullptr, Qt::Window), path_(path), copyDir_(std::move(copyDir)) {
    setObjectName(QStringLiteral("kxHelpViewer"));
    setProperty("helpPath", path);
    setProperty("helpContext", QVariant::fromValue(0u));
    engine_ = new QHelpEngine(copy, this);
    engine_->setUsesFilterEngine(true);
}

HelpViewer::~HelpViewer() {
    // The engine first: its models stop filling the widgets, and its search
    // index is closed before the copy's folder goes.
    delete engine_;
}

bool HelpViewer::SetUp() {
    if (!engine_->setupData() || engine_->registeredDocumentations().isEmpty()) return false;
    const QString title = engine_->customValue(kTitleKey).toString();
    setWindowTitle(title.isEmpty() ? QFileInfo(path_).completeBaseName() : title);
    startPage_ = QUrl(engine_->customValue(kStartPageKey).toString());
    if (!startPage_.isValid() || engine_->fileData(startPage_).isEmpty()) {
        // A collection without a start page opens at its first page.
        const QString ns = engine_->registeredDocumentations().first();
        const QList<QUrl> pages = engine_->files(ns, QString(), QStringLiteral("html"));
        startPage_ = pages.isEmpty() ? QUrl() : pages.first();
    }
    BuildLayout();
    engine_->searchEngine()->scheduleIndexDocumentation();
    return true;
}

void HelpViewer::BuildLayout() {
    // Navigation row.
    const auto makeButton = [this](const char* name, const QString& text, QStyle::StandardPixmap icon) {
        auto* button = new QToolButton(this);
        button->setObjectName(QLatin1String(name));
        button->setText(text);
        button->setIcon(style()->standardIcon(icon));
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setAutoRaise(true);
        return button;
    };
    back_ = makeButton("helpBack", tr("Back"), QStyle::SP_ArrowBack);
    forward_ = makeButton("helpForward", tr("Forward"), QStyle::SP_ArrowForward);
    home_ = makeButton("helpHome", tr("Start page"), QStyle::SP_DirHomeIcon);
    back_->setEnabled(false);
    forward_->setEnabled(false);
    auto* navigation = new QHBoxLayout;
    navigation->addWidget(back_);
    navigation->addWidget(forward_);
    navigation->addWidget(home_);
    navigation->addStretch(1);

    browser_ = new HelpBrowser(*engine_, this);
    browser_->setObjectName(QStringLiteral("helpBrowser"));
    browser_->setOpenExternalLinks(false);

    // Contents.
    QHelpContentWidget* contents = engine_->contentWidget();
    contents->setObjectName(QStringLiteral("helpContents"));
    contents->setHeaderHidden(true);
    connect(engine_->contentModel(), &QHelpContentModel::contentsCreated, contents, [this, contents] {
        contents->expandAll();
        SyncContents(browser_->source());
    });
    connect(contents, &QHelpContentWidget::linkActivated, browser_,
            [this](const QUrl& url) { browser_->setSource(url); });

    // Index, with the line that filters it.
    auto* indexPage = new QWidget;
    auto* indexLayout = new QVBoxLayout(indexPage);
    auto* lookFor = new QLabel(tr("&Look for:"), indexPage);
    indexFilter_ = new QLineEdit(indexPage);
    indexFilter_->setObjectName(QStringLiteral("helpIndexFilter"));
    indexFilter_->setClearButtonEnabled(true);
    lookFor->setBuddy(indexFilter_);
    QHelpIndexWidget* index = engine_->indexWidget();
    index->setObjectName(QStringLiteral("helpIndex"));
    indexLayout->addWidget(lookFor);
    indexLayout->addWidget(indexFilter_);
    indexLayout->addWidget(index, 1);
    connect(indexFilter_, &QLineEdit::textChanged, index,
            [index](const QString& text) { index->filterIndices(text); });
    connect(indexFilter_, &QLineEdit::returnPressed, index, &QHelpIndexWidget::activateCurrentItem);
    connect(index, &QHelpIndexWidget::documentActivated, browser_,
            [this](const QHelpLink& document, const QString&) { browser_->setSource(document.url); });
    connect(index, &QHelpIndexWidget::documentsActivated, browser_,
            [this](const QList<QHelpLink>& documents, const QString&) {
                if (!documents.isEmpty()) browser_->setSource(documents.first().url);
            });

    // Full-text search.
    QHelpSearchEngine* search = engine_->searchEngine();
    auto* searchPage = new QWidget;
    auto* searchLayout = new QVBoxLayout(searchPage);
    QHelpSearchQueryWidget* query = search->queryWidget();
    query->setObjectName(QStringLiteral("helpSearchQuery"));
    QHelpSearchResultWidget* results = search->resultWidget();
    results->setObjectName(QStringLiteral("helpSearchResults"));
    searchLayout->addWidget(query);
    searchLayout->addWidget(results, 1);
    connect(query, &QHelpSearchQueryWidget::search, search,
            [search, query] { search->search(query->searchInput()); });
    connect(results, &QHelpSearchResultWidget::requestShowLink, browser_,
            [this](const QUrl& url) { browser_->setSource(url); });

    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("helpTabs"));
    tabs_->addTab(contents, tr("Contents"));
    tabs_->addTab(indexPage, tr("Index"));
    tabs_->addTab(searchPage, tr("Search"));

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(tabs_);
    splitter->addWidget(browser_);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(navigation);
    layout->addWidget(splitter, 1);

    connect(back_, &QToolButton::clicked, browser_, &QTextBrowser::backward);
    connect(forward_, &QToolButton::clicked, browser_, &QTextBrowser::forward);
    connect(home_, &QToolButton::clicked, this, [this] { Show(startPage_, 0); });
    connect(browser_, &QTextBrowser::backwardAvailable, back_, &QToolButton::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward_, &QToolButton::setEnabled);
    connect(browser_, &QTextBrowser::sourceChanged, this, &HelpViewer::SyncContents);

    // Sizes in text units, so that the window reads the same at any scale.
    const QFontMetrics metrics(font());
    const int charWidth = metrics.horizontalAdvance(QLatin1Char('x'));
    QSize size(charWidth * 120, metrics.height() * 42);
    if (const QScreen* screen = QApplication::primaryScreen()) {
        size = size.boundedTo(screen->availableGeometry().size() * 9 / 10);
    }
    resize(size);
    // On a small screen the page keeps the larger part.
    const int tabsWidth = std::min(charWidth * 34, size.width() / 3);
    splitter->setSizes({tabsWidth, size.width() - tabsWidth});
}

void HelpViewer::SyncContents(const QUrl& url) {
    QHelpContentWidget* contents = engine_->contentWidget();
    QUrl page = url;
    page.setFragment(QString());
    const QModelIndex item = contents->indexOf(page);
    if (item.isValid()) contents->setCurrentIndex(item);
}

void HelpViewer::Show(const QUrl& url, unsigned context) {
    setProperty("helpContext", QVariant::fromValue(context));
    browser_->setSource(url);
    if (isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
}

void HelpViewer::ShowStartPage() { Show(startPage_, 0); }

bool HelpViewer::ShowContext(unsigned context) {
    const QList<QHelpLink> topics = engine_->documentsForIdentifier(TopicId(context));
    if (topics.isEmpty()) {
        ShowStartPage();
        return false;
    }
    Show(topics.first().url, context);
    return true;
}

}  // namespace kxhelp
