#pragma once

#include "core/platform/services.h"

// QMessageBox, its title never cut short by a narrow box.
class QtMessageBoxes : public MessageBoxes {
public:
    MessageAnswer show(WindowHandle owner, const MessageSpec &spec) override;
};
