#include "core/uiseam.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <cstdlib>

namespace tavrel {

namespace {

// Breaks `line` between words into lines of at most ConsoleLineLimit characters (a word
// longer than that is cut).
QStringList wrapped(QString line) {
    QStringList lines;
    while (line.size() > ConsoleLineLimit) {
        qsizetype cut = line.lastIndexOf(QLatin1Char(' '), ConsoleLineLimit);
        if (cut <= 0)
            cut = ConsoleLineLimit;
        lines << line.left(cut);
        line = line.mid(cut).trimmed();
    }
    lines << line;
    return lines;
}

// Used until the GUI installs its own, and by the commands without a window (-m, --init):
// no window and no waiting. Every message goes to standard error; a question takes the
// answer that never destroys data (No, Cancel), and says so.
class HeadlessUi final : public Ui {
public:
    MsgResult msgBox(const QString& text, MsgButtons buttons, MsgIcon, const QString& title,
                     const QString& details, std::optional<MsgResult>) override {
        MsgResult answer = MsgResult::Ok;
        switch (buttons) {
        case MsgButtons::Ok:
            break;
        case MsgButtons::OkCancel:
        case MsgButtons::SaveDiscardCancel:
            answer = MsgResult::Cancel;
            break;
        case MsgButtons::YesNo:
        case MsgButtons::YesNoCancel:
            answer = MsgResult::No;
            break;
        }
        QString taken;
        if (buttons != MsgButtons::Ok)
            taken = answer == MsgResult::No ? QStringLiteral("No: running without a window")
                                            : QStringLiteral("Cancel: running without a window");
        std::fprintf(stderr, "%s\n", qPrintable(consoleMessage(title, text, taken, details)));
        std::fflush(stderr);
        return answer;
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
    // At once, as the program's window would: no destructors of a half-finished run.
    void endProgram(int exitCode) override {
        std::fflush(nullptr);
        std::_Exit(exitCode);
    }
};

// Progress nobody sees.
class NoProgress final : public Progress {
public:
    void setValue(int) override {}
    bool wasCanceled() const override { return false; }
};

HeadlessUi headless;
Ui* current = &headless;

} // namespace

QString consoleMessage(const QString& title, const QString& text, const QString& answer,
                       const QString& details) {
    // A box with a title of its own names it after the prefix every message has.
    QString first = QLatin1String(MessagePrefix);
    if (!title.isEmpty() && title != AppTitle)
        first += title + QStringLiteral(": ");
    first += text;
    if (!answer.isEmpty())
        first += QStringLiteral(" [") + answer + QLatin1Char(']');
    QStringList lines;
    for (const QString& line : first.split(QLatin1Char('\n')))
        lines << wrapped(line);
    if (!details.isEmpty()) {
        // One line of them: enough to tell one failure from another, never pages of SQL.
        const QString prefix = QStringLiteral("  Details: ");
        QString shown = details.simplified();
        const qsizetype room = ConsoleLineLimit - prefix.size();
        if (shown.size() > room)
            shown = shown.left(room - 3) + QStringLiteral("...");
        lines << prefix + shown;
    }
    return lines.join(QLatin1Char('\n'));
}

std::unique_ptr<Progress> Ui::progress(const QString&, const QString&, int, ProgressCancel) {
    return std::make_unique<NoProgress>();
}

bool Ui::openFolder(const QString&) {
    return false;
}

std::optional<QString> Ui::existingFolder(QWidget*, const QString&, const QString&) {
    return std::nullopt;
}

Ui& ui() {
    return *current;
}

void setUi(Ui* ui) {
    current = ui ? ui : &headless;
}

MsgResult askBeforeDestroying(const QString& text, const QString& title) {
    return ui().msgBox(text, MsgButtons::YesNo, MsgIcon::None, title, {}, MsgResult::No);
}

} // namespace tavrel
