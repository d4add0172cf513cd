#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>

// What a receive socket needs of the panel that owns it.
class CRxSocketOwner {
public:
    virtual ~CRxSocketOwner() = default;

    // The bytes are valid only during the call.
    virtual void ProcessDatagram(const std::uint8_t* bytes, std::size_t length,
        const std::string& address, std::uint32_t port)
        = 0;
    // A message box owned by the panel; returns the button pressed.
    virtual int MessageBox(const QString& text, const QString& caption, unsigned type) = 0;
};
