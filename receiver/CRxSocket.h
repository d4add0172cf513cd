#pragma once

#include "CAsyncSocket.h"

#include <cstdint>
#include <string>

class CRxSocketOwner;

constexpr int RX_BUFFER_SIZE = 65535;

// The UDP socket of one running receiver: bound with address reuse to a port on every
// local address, optionally a member of one multicast group.
class CRxSocket : public CAsyncSocket {
    Q_OBJECT

public:
    CRxSocket();
    ~CRxSocket() override;

    bool Bind(const std::string& group, std::uint32_t port, bool join, CRxSocketOwner* owner);
    bool JoinGroup();
    bool LeaveGroup();

protected:
    void OnReceive(int errorCode) override;

private:
    bool setMembership(int option);
    void reportOnce(const QString& text, const QString& caption, bool systemError);

    std::string m_strGroup;
    CRxSocketOwner* m_pOwner = nullptr;
    bool m_bBoxOpen = false;
};
