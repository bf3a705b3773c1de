// The help viewer window: contents, index and full-text search of a help
// collection beside a browser of its pages.
#pragma once

#include <QPointer>
#include <QString>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QUrl>
#include <QWidget>
#include <memory>

class QHelpEngine;
class QLineEdit;
class QTabWidget;
class QToolButton;

namespace kxhelp {

// A text browser that reads qthelp:// pages, style sheets and images from the
// help engine.
class HelpBrowser : public QTextBrowser {
    Q_OBJECT
public:
    HelpBrowser(QHelpEngine& engine, QWidget* parent);
    QVariant loadResource(int type, const QUrl& name) override;

private:
    QHelpEngine& engine_;
};

class HelpViewer : public QWidget {
    Q_OBJECT
public:
    // Opens the collection file `path`, or returns null when it is not a help
    // collection with documentation in it. The viewer works on a private copy
    // of the collection (the engine writes its settings and search index beside
    // the file it opens), so the file itself is never written and viewers in
    // several processes do not meet.
    static std::unique_ptr<HelpViewer> Open(const QString& path);
    ~HelpViewer() override;

    // The path the viewer was opened with.
    QString path() const { return path_; }

    // Shows the topic of `context` and returns true; an unknown context shows
    // the start page and returns false.
    bool ShowContext(unsigned context);
    void ShowStartPage();

    // A context number as topics name it: "0x" and lowercase hex digits.
    static QString TopicId(unsigned context);

private:
    HelpViewer(const QString& path, std::unique_ptr<QTemporaryDir> copyDir, const QString& copy);
    bool SetUp();
    void BuildLayout();
    void Show(const QUrl& url, unsigned context);
    void SyncContents(const QUrl& url);

    QString path_;
    std::unique_ptr<QTemporaryDir> copyDir_;
    QHelpEngine* engine_ = nullptr;  // child of the viewer
    HelpBrowser* browser_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QLineEdit* indexFilter_ = nullptr;
    QToolButton* back_ = nullptr;
    QToolButton* forward_ = nullptr;
    QToolButton* home_ = nullptr;
    QUrl startPage_;
};

}  // namespace kxhelp
