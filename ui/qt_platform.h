#pragma once

#include "ui/platform.h"

namespace kvillo {

class QtPlatform : public Platform
{
public:
    void showError(const QString &text) override;
    void showNotice(const QString &text) override;
    bool showMessage(const QString &caption, const QString &text, Buttons buttons) override;
    void beep() override;
    std::optional<QString> saveFileName(QWidget *parent, const QString &filter, const QString &initial) override;
    std::optional<QString> openFileName(QWidget *parent, const QString &filter, const QString &initial) override;
    std::optional<QFont> chooseFont(QWidget *parent, const QFont &initial) override;
    void openUrl(const QString &url) override;
    void setClipboardText(const QString &text) override;
};

} // namespace kvillo
