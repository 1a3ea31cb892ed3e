// OBEX over Bluetooth: the device's SDP server names the RFCOMM channel of
// its Object Push service, and an RFCOMM socket connects to that channel.
#include <bluetooth/bluetooth.h>
#include <bluetooth/rfcomm.h>
#include <bluetooth/sdp.h>
#include <bluetooth/sdp_lib.h>

#include <memory>
#include <optional>

#include "external/bluetooth/connections.h"

namespace nb::external::bluetooth {
namespace {

constexpr int kHighestRfcommChannel = 30;

// The stack keeps addresses least significant byte first.
bdaddr_t DeviceAddress(const BluetoothAddress& address) {
    bdaddr_t device{};
    for (std::size_t i = 0; i < address.bytes.size(); ++i)
        device.b[i] = address.bytes[address.bytes.size() - 1 - i];
    return device;
}

struct SessionClose {
    void operator()(sdp_session_t* session) const { sdp_close(session); }
};

// The access protocols are a list of lists.
void FreeProtocols(sdp_list_t* protocols) {
    for (sdp_list_t* entry = protocols; entry; entry = entry->next)
        sdp_list_free(static_cast<sdp_list_t*>(entry->data), nullptr);
    sdp_list_free(protocols, nullptr);
}

std::optional<std::uint8_t> RfcommChannelOf(const sdp_record_t* record) {
    sdp_list_t* protocols = nullptr;
    if (sdp_get_access_protos(record, &protocols) != 0) return std::nullopt;
    const int channel = sdp_get_proto_port(protocols, RFCOMM_UUID);
    FreeProtocols(protocols);
    if (channel < 1 || channel > kHighestRfcommChannel) return std::nullopt;
    return static_cast<std::uint8_t>(channel);
}

// Asks the device's SDP server for its Object Push service records.
std::optional<std::uint8_t> ObjectPushChannel(const bdaddr_t& device) {
    const bdaddr_t any_adapter{};
    const std::unique_ptr<sdp_session_t, SessionClose> session(
        sdp_connect(&any_adapter, &device, SDP_RETRY_IF_BUSY));
    if (!session) return std::nullopt;
    uuid_t service{};
    sdp_uuid16_create(&service, OBEX_OBJPUSH_SVCLASS_ID);
    std::uint32_t every_attribute = 0x0000FFFF;
    sdp_list_t* search = sdp_list_append(nullptr, &service);
    sdp_list_t* attributes = sdp_list_append(nullptr, &every_attribute);
    sdp_list_t* records = nullptr;
    const int asked = sdp_service_search_attr_req(session.get(), search, SDP_ATTR_REQ_RANGE,
                                                  attributes, &records);
    sdp_list_free(search, nullptr);
    sdp_list_free(attributes, nullptr);
    std::optional<std::uint8_t> channel;
    for (sdp_list_t* entry = records; entry; entry = entry->next) {
        auto* record = static_cast<sdp_record_t*>(entry->data);
        if (asked == 0 && !channel) channel = RfcommChannelOf(record);
        sdp_record_free(record);
    }
    sdp_list_free(records, nullptr);
    return channel;
}

}  // namespace

Attempt ConnectRfcomm(const BluetoothAddress& address, JobChannel& channel) {
    UniqueFd socket(
        ::socket(AF_BLUETOOTH, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, BTPROTO_RFCOMM));
    if (!socket.IsOpen()) return Unexpected(AttemptFailure::NoSocket);
    const bdaddr_t device = DeviceAddress(address);
    // A device out of range or without the service fails the attempt; the
    // next one asks again.
    const std::optional<std::uint8_t> service_channel = ObjectPushChannel(device);
    if (!service_channel) return Unexpected(AttemptFailure::Failed);
    sockaddr_rc peer{};
    peer.rc_family = AF_BLUETOOTH;
    peer.rc_bdaddr = device;
    peer.rc_channel = *service_channel;
    return ConnectSocket(std::move(socket), reinterpret_cast<const sockaddr*>(&peer), sizeof peer,
                         channel);
}

}  // namespace nb::external::bluetooth
