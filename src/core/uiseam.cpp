#include "core/uiseam.h"

#include <QCoreApplication>

#include <cstdlib>

namespace tavrel {

namespace {

// Used until the GUI installs its own, and by the headless commands: no windows, answers
// that never destroy data (No to questions), messages to standard error.
class HeadlessUi final : public Ui {
public:
    MsgResult msgBox(const QString& text, MsgButtons buttons, MsgIcon,
                     const QString& title) override {
        const QString shownTitle = title.isEmpty() ? AppTitle : title;
        fprintf(stderr, "%s: %s\n", qPrintable(shownTitle), qPrintable(text));
        switch (buttons) {
        case MsgButtons::Ok:
            return MsgResult::Ok;
        case MsgButtons::OkCancel:
            return MsgResult::Cancel;
        case MsgButtons::YesNo:
        case MsgButtons::YesNoCancel:
            return MsgResult::No;
        }
        return MsgResult::Ok;
    }
    std::optional<QString> inputBox(const QString&, const QString&, const QString&) override {
        return std::nullopt;
    }
    std::optional<QString> openFileName(QWidget*, const QString&, const QString&,
                                        const QString&) override {
        return std::nullopt;
    }
    std::optional<QString> saveFileName(QWidget*, const QString&, const QString&,
                                        const QString&) override {
        return std::nullopt;
    }
    void beep() override {}
    void sendTab(QWidget*) override {}
    int showModal(QDialog*) override { return 0; }
    void showHelp(QWidget*, const QString&) override {}
    QDate today() override { return QDate::currentDate(); }
    QDateTime now() override { return QDateTime::currentDateTime(); }
    void endProgram(int exitCode) override { std::exit(exitCode); }
};

// Progress nobody sees.
class NoProgress final : public Progress {
public:
    void setValue(int) override {}
};

HeadlessUi headless;
Ui* current = &headless;

} // namespace

std::unique_ptr<Progress> Ui::progress(const QString&, const QString&, int) {
    return std::make_unique<NoProgress>();
}

Ui& ui() {
    return *current;
}

void setUi(Ui* ui) {
    current = ui ? ui : &headless;
}

} // namespace tavrel
