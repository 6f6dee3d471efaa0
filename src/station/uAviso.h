#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The notice that tells the customer how many minutes remain, above every
// other window.
class TfmAviso final : public QDialog
{
    Q_OBJECT
public:
    TfmAviso();

    QLabel* lblQuedan;
    QLabel* Label2;
    QPushButton* BitBtn1;

    void FormActivate();
    // Shows a message from the counter in place of the minutes left, the
    // window grown to hold it; an empty text puts the notice back as it was.
    void showMessage(const QString& text);

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

// Puts the window at the top of the always-on-top band.
void MakeTopMost(QWidget* window);

extern TfmAviso* fmAviso;
