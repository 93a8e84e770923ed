#pragma once

// The Help menu's links, handed to the desktop's default programs; what
// becomes of them is not looked at.
namespace modPublic {

void OpenProductWebPage();
void OpenSupportMail();

} // namespace modPublic
