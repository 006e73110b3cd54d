#pragma once

#include <QDialog>

namespace orvalis {

// The About box: the icon, "Orvalis 1.0" with a line on what the program
// does, and "OK". Modal; the main window's timer keeps ticking meanwhile.
class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};

inline constexpr const char* kAboutTitle = "About Orvalis";
inline constexpr const char* kAboutText = "Orvalis 1.0 \u2014 ricerca di regioni circolari congruenti";

}  // namespace orvalis
