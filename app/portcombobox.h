#pragma once

#include <QComboBox>

// The serial port list. It announces each opening, so that the window can
// read the system's ports again first: an adapter plugged in after start-up
// is then there to choose.
class PortComboBox : public QComboBox
{
    Q_OBJECT

public:
    using QComboBox::QComboBox;

    void showPopup() override
    {
        emit aboutToShowPopup();
        QComboBox::showPopup();
    }

signals:
    void aboutToShowPopup();
};
