#pragma once

#include "platform/MessageBoxes.h"

namespace platform {

// Message boxes drawn by Qt.
class QtMessageBoxes final : public MessageBoxes
{
public:
    void showError(const QString& caption, const QString& text) override;
    void showInformation(const QString& text) override;
    void showNotice(const QString& caption, const QString& text) override;
};

} // namespace platform
