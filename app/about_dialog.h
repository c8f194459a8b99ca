// The About box: program name and version, one line about what it does, the icon.
#pragma once

#include <QDialog>

namespace vorlix {

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace vorlix
