#pragma once
// Shared by the tests of the exported query functions: a fixture that runs a query, which
// shows a modal sheet, with a user acting on that sheet once it is up, and field-by-field
// comparison of the records the queries fill.

#include "page_test_support.h"

#include "setup/records/param_records.h"
#include "setup/property_sheet.h"
#include "tests/support/next_sheet.h"

#include <QObject>

#include <functional>
#include <utility>

namespace page_test {

using SheetAction = std::function<void(kerdal::PropertySheet&)>;

class QueryTest : public PageTest {
protected:
    // Runs `query`; `user` acts on the sheet once it is up. sheetShown tells whether one came.
    int Run(const std::function<int()>& query, SheetAction user) {
        QObject guard;  // a drive left pending when no sheet came up dies with the call
        const auto shown = tolvan::test::OnNextSheet(&guard, std::move(user),
                                                     tolvan::test::AfterWork::Nothing, false);
        const int result = query();
        sheetShown = *shown;
        return result;
    }
    bool sheetShown = false;
};

inline bool Same(const AndCOMMParam& a, const AndCOMMParam& b) {
    return a.nPort == b.nPort && a.lBaudRate == b.lBaudRate && a.chParity == b.chParity &&
           a.nWordLen == b.nWordLen && a.nStopBits == b.nStopBits && a.bDtrDsr == b.bDtrDsr &&
           a.bRtsCts == b.bRtsCts && a.bXonXoff == b.bXonXoff && a.bPortFixed == b.bPortFixed;
}

inline bool Same(const AndModemParam& a, const AndModemParam& b) {
    return Same(static_cast<const AndCOMMParam&>(a), b) && a.chDelay == b.chDelay &&
           a.strDialPrefix == b.strDialPrefix && a.strDialSuffix == b.strDialSuffix &&
           a.strHangUp == b.strHangUp && a.strInit == b.strInit && a.nMaxRedials == b.nMaxRedials &&
           a.nRedialPause == b.nRedialPause && a.nDelayTime == b.nDelayTime &&
           a.nConnectTime == b.nConnectTime && a.bDtrHangUp == b.bDtrHangUp;
}

inline bool Same(const AndModemMode& a, const AndModemMode& b) {
    return a.strResponse == b.strResponse && a.strPhoneList == b.strPhoneList &&
           a.nTimeout == b.nTimeout && a.nInternalTimeout == b.nInternalTimeout &&
           a.nReplyMode == b.nReplyMode && a.nLoud == b.nLoud && a.nSpeaker == b.nSpeaker &&
           a.nWorkMode == b.nWorkMode && a.bEcho == b.bEcho && a.bReply == b.bReply &&
           a.nDialMode == b.nDialMode;
}

inline bool Same(const AndIRParam& a, const AndIRParam& b) {
    return a.nPort == b.nPort && a.nLinkVariant == b.nLinkVariant && a.bPortFixed == b.bPortFixed &&
           a.lBaudRate == b.lBaudRate;
}

}  // namespace page_test
