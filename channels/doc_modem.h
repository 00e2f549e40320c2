// The modem channel: a plain channel with a Hayes-style modem behind its port. It keeps
// the modem's command strings and dialing settings (stored in its .mcf file after the
// plain channel's fields), a modem mode record that says how commands wait for the
// modem's answer (not stored: every loaded channel starts from its defaults), and offers
// the modem commands to clients (automation members 1..14, the plain channel's 36 at
// 0x10001..) and to the window's menu.
//
// Waits of the modem commands sleep on the tick source with the server lock released, so
// other clients are served meanwhile; a command in work mode 1 or 2 blocks its own caller
// for up to nTimeout ms (a register read up to twice nInternalTimeout plus that).
#pragma once

#include "channels/doc_comm.h"
#include "channels/doc_modem_commands.h"
#include "channels/doc_modem_link.h"
#include "channels/doc_modem_settings.h"
#include "setup/records/param_records.h"

#include <string>
#include <vector>

namespace tolvan {

class CDocModem : public CDocComm, private ModemLink {
public:
    CDocModem();
    ~CDocModem() override;

    // Runtime class "CDocModem", schema 0, for document templates.
    static const tfw::DocumentClass& Class();
    // The "DaRi32.Document" dispatch class: its 14 members, then the plain channel's.
    static const tfw::DispatchClass& ModemDispatchClass();
    const tfw::DispatchClass& GetDispatchClass() const override;

    // Automation properties.
    // Read and written under the server lock: a command on another thread reads the record.
    std::string GetResponse() { return commands_.ModeNow().strResponse; }
    void SetResponse(std::string text);
    std::int16_t GetCommandMode() {
        return static_cast<std::int16_t>(commands_.ModeNow().nWorkMode);
    }
    void SetCommandMode(std::int16_t value);
    std::int16_t GetFixedDelay() { return static_cast<std::int16_t>(commands_.ModeNow().nTimeout); }
    void SetFixedDelay(std::int16_t ms);

    // Sends text unchanged (no CR added) with the write lock; DoCommand then waits as the
    // work mode says. -6 not connected, -74 locked by another channel.
    std::int16_t DoCommand(const std::string& text) { return commands_.DoCommand(text); }
    std::int16_t SendString(const std::string& text) { return commands_.SendString(text); }
    std::int16_t SetRegister(std::int16_t reg, std::int16_t value) {
        return commands_.SetRegister(reg, value);
    }
    std::int16_t GetRegister(std::int16_t reg) { return commands_.GetRegister(reg); }
    // strDialPrefix + P/T + number + strDialSuffix + CR; does not wait for the answer.
    std::int16_t Dial(const std::string& number) {
        const ModemChannelSettings settings = SettingsNow();
        return commands_.Dial(settings.strDialPrefix, number, settings.strDialSuffix);
    }
    // Only the value 1 counts as on.
    std::int16_t SetEcho(std::int32_t on) { return commands_.SetEcho(on); }
    std::int16_t SetReply(std::int32_t on) { return commands_.SetReply(on); }
    std::int16_t SetReplyMode(std::int32_t on) { return commands_.SetReplyMode(on); }
    std::int16_t SetLoud(std::int16_t level) { return commands_.SetLoud(level); }
    std::int16_t SetSpeaker(std::int16_t mode) { return commands_.SetSpeaker(mode); }
    void SetPulseDial(std::int32_t on) { commands_.SetPulseDial(on); }

    // Menu commands.
    std::int16_t SendInit() { return DoCommand(SettingsNow().strInit + '\r'); }
    std::int16_t HangUp() { return DoCommand(SettingsNow().strHangUp + '\r'); }
    std::int16_t RepeatLastCommand() { return SendString("A/"); }
    std::int16_t SendFiles(const std::vector<std::string>& paths,
                           const ModemCommands::SendProgress& progress = {}) {
        return commands_.SendFiles(paths, progress);
    }
    // After the modem-mode dialog accepted the record.
    void SetUpModem() { commands_.SetUpModem(); }
    // The ATY command for bDtrHangUp.
    std::int16_t ApplyDtrHangUp() { return commands_.SetDtrHangUp(SettingsNow().bDtrHangUp); }
    ModemCommands& Commands() { return commands_; }

    // The stored settings themselves, for code that holds the server lock; a copy taken
    // under it for the others.
    ModemChannelSettings& Settings() { return settings_; }
    ModemChannelSettings SettingsNow() const;
    // The record itself, for code that holds the server lock (or owns the channel alone);
    // others take a copy and put it back whole.
    AndModemMode& Mode() { return mode_; }
    AndModemMode ModeNow() const { return commands_.ModeNow(); }
    void SetMode(const AndModemMode& mode) { commands_.SetMode(mode); }

    // The plain channel's fields, then the stored settings; the mode record is reset to
    // its defaults when loading.
    void Serialize(tfw::CArchive& ar) override;

    // Automation forms of the switches: a client's true is on.
    std::int16_t AutoSetEcho(bool on) { return SetEcho(on ? 1 : 0); }
    std::int16_t AutoSetReply(bool on) { return SetReply(on ? 1 : 0); }
    std::int16_t AutoSetReplyMode(bool on) { return SetReplyMode(on ? 1 : 0); }
    void AutoSetPulseDial(bool on) { SetPulseDial(on ? 1 : 0); }

private:
    bool LinkConnected() const override;
    bool LinkLockedByOther() const override;
    bool LinkLock() override;
    void LinkUnlock() override;
    std::int32_t LinkWrite(std::span<const std::uint8_t> bytes) override;
    std::int32_t LinkReadString(std::span<std::uint8_t> destination,
                                std::int16_t terminator) override;
    std::int32_t LinkRead(std::span<std::uint8_t> destination) override;
    void LinkClearReceive() override;
    std::uint32_t LinkHeld() const override;
    std::int16_t LinkLastError() override;
    plat::WaitTarget LinkWaitTarget() override { return ReceiveWaitTarget(); }

    ModemChannelSettings settings_;
    AndModemMode mode_;
    ModemCommands commands_{*this, mode_};
};

}  // namespace tolvan
