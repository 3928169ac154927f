#pragma once

#include <QDialog>

namespace tavrel {

// The About box: product title, version and maker.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);
};

} // namespace tavrel
