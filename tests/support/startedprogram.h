#pragma once

#include "core/frmmain.h"

#include <QDir>
#include <QString>

#include <functional>
#include <memory>

namespace tavrel::test {

// The program started in a working folder as the user starts it there: the folder made the
// current one, the windows `install` puts in, frmMain loaded (start-up with its questions
// and messages). When it goes, or at end(), frmMain is unloaded; the folder current before
// becomes current again when it goes, whatever the test met.
class StartedProgram {
public:
    explicit StartedProgram(const QString& folder,
                            const std::function<void(frmMain&)>& install = {})
        : previous_(QDir::currentPath()) {
        QDir::setCurrent(folder);
        main = std::make_unique<frmMain>();
        if (install)
            install(*main);
        main->Form_Load();
    }
    ~StartedProgram() {
        end();
        QDir::setCurrent(previous_);
    }
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;

    void end() {
        if (main)
            main->Form_Unload();
        main.reset();
    }

    std::unique_ptr<frmMain> main;

private:
    QString previous_;
};

} // namespace tavrel::test
