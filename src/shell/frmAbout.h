#pragma once

#include <QDialog>

// The about box: logo, name and version, the maker's notice and web address.
class frmAbout : public QDialog
{
    Q_OBJECT

public:
    explicit frmAbout(QWidget *parent = nullptr);

    void Form_Load();
    void cmdOK_Click();
};
