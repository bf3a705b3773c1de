// The window of an editor: a QDialog that hands closing, keys and showing
// to its CKX_EditSetupDlg.
#pragma once

#include <QDialog>

class CKX_EditSetupDlg;

namespace kx {

class DialogWindow : public QDialog {
public:
    DialogWindow(CKX_EditSetupDlg& owner, QWidget* parent);
    ~DialogWindow() override;

    // Esc, the window's close button and Cancel all come here.
    void reject() override;
    void accept() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CKX_EditSetupDlg& m_owner;
    bool m_shown = false;
};

// The caption a control shows, without the mnemonic markers of its text
// ("Tune && Test" shows "Tune & Test").
QString ShownText(const QString& text);

}  // namespace kx
