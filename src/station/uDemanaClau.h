#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// The lock: only the password in the main window's password field lets it
// close and the main window come back.
class TfmDemanaClau final : public QDialog
{
    Q_OBJECT
public:
    TfmDemanaClau();

    QLabel* Label1;
    QLineEdit* Edit1;
    QPushButton* BitBtn1;

    void BitBtn1Click();
    // Asked before every close; on the right password empties the entry.
    bool FormCloseQuery();

    // Whether the program may end now (the desktop session is ending): once
    // the lock has been shown, only while the entry holds the password.
    bool agreesToSessionEnd() const;

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void placeOnScreen();

    bool m_shownOnce = false;
};

extern TfmDemanaClau* fmDemanaClau;
