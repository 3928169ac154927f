#pragma once

#include "core/uiseam.h"

#include <QPointer>

namespace tavrel {

class frmHelp;

// The Ui of the running program: Qt's message boxes, dialogs and clock.
class QtUi final : public Ui {
public:
    MsgResult msgBox(const QString& text, MsgButtons buttons, MsgIcon icon, const QString& title,
                     const QString& details, std::optional<MsgResult> defaultButton) override;
    std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                    const QString& defaultText) override;
    std::optional<QString> openFileName(QWidget* parent, const QString& title,
                                        const QString& filter, const QString& initialName) override;
    std::optional<QString> saveFileName(QWidget* parent, const QString& title,
                                        const QString& filter, const QString& initialName) override;
    std::optional<QString> existingFolder(QWidget* parent, const QString& title,
                                          const QString& initialFolder) override;
    bool openFolder(const QString& folder) override;
    void beep() override;
    void sendTab(QWidget* from) override;
    int showModal(QDialog* dialog) override;
    void showHelp(QWidget* parent, const QString& topic) override;
    QDate today() override;
    QDateTime now() override;
    void endProgram(int exitCode) override;
    std::unique_ptr<Progress> progress(const QString& title, const QString& text, int maximum,
                                       ProgressCancel cancel) override;

private:
    QPointer<frmHelp> help_;
};

} // namespace tavrel
