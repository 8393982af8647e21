#pragma once
// Powering the computer off after the last job: asks the login manager, which decides whether
// this user may. Tests put a stand-in in its place.
#include <string>

class TSystemShutdown {
public:
    virtual ~TSystemShutdown() = default;
    // False with the reason in error when the request was refused or could not be sent.
    virtual bool PowerOff(std::string& error) = 0;
};

// logind's PowerOff over the system bus (interactive: the session's agent may ask for consent).
class TLogindShutdown : public TSystemShutdown {
public:
    bool PowerOff(std::string& error) override;
};
