#pragma once

#include <QDialog>

class QLabel;

// TfLogo: the small frameless window that is the splash screen while the program starts and
// the about window afterwards. A click anywhere closes it, except a click on the maker's
// address, which opens the maker's web site and leaves the window open. Closing only hides it;
// the window lives for the whole run.
namespace verbalon::ui {

// The maker's address as the about line shows it and as the desktop opens it, and the year of
// issue: the one place to change them.
inline constexpr char kMakerAddress[] = "https://verbalon.example.org/";
inline constexpr int kIssueYear = 2026;

class TfLogo : public QDialog {
  Q_OBJECT

 public:
  explicit TfLogo(QWidget* parent = nullptr);

  // The splash: shows the window without modality and paints it at once, so it stands while
  // the caller goes on starting the program. The owner closes it with close().
  void showSplash();

  // The about window: switches to the about look for good (the address line in place of
  // "Идёт загрузка ...") and runs modally until the window is closed.
  void showAbout();

  // A line of the about window under the address, for what the program cannot offer here (the
  // dictionary forms without Hunspell's dictionaries, say); empty for none.
  void setNote(const QString& line);

 protected:
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormShow();
  void FormClick();
  void Label1Click();
  void centreOnDesktop();

  QWidget* pnInfo;
  QWidget* pnAbout;
  QLabel* Label1;
  QLabel* lbNote;
};

}  // namespace verbalon::ui
