#include "setup/records/comm_param.h"

#include "framework/string_table.h"

namespace {

constexpr std::int32_t kBaudRates[] = {2400, 4800, 9600, 19200, 38400, 57600, 115200};
constexpr char kParities[] = "OENMS";
constexpr std::int32_t kWordLengths[] = {5, 6, 7, 8};
constexpr std::int32_t kStopBits[] = {1, 2};

template <typename T>
int FindIndex(const T* table, int count, long value) {
    for (int i = 0; i < count; ++i)
        if (static_cast<long>(table[i]) == value) return i;
    return -1;
}

bool InRange(int index, int count) {
    return index >= 0 && index < count;
}

// Constructed when the library loads, before any export can be called.
AndCommParam g_commParam(nullptr);

}  // namespace

AndCommParam::AndCommParam(const char*)
    : m_pBaudRate(kBaudRates),
      m_pParity(kParities),
      m_pWrdLen(kWordLengths),
      m_pStopBit(kStopBits),
      m_nBaudRateCnt(7),
      m_nParityCnt(5),
      m_nWrdLenCnt(4),
      m_nStopBitCnt(2),
      m_nDefBaudRate(2),
      m_nDefParity(2),
      m_nDefWrdLen(3),
      m_nDefStopBit(0),
      m_nCurBaudRate(2),
      m_nCurParity(2),
      m_nCurWrdLen(3),
      m_nCurStopBit(0) {}

AndCommParam& AndCommParam::operator=(const AndCommParam& other) = default;

long AndCommParam::GetBaudRate(int index) const {
    return InRange(index, m_nBaudRateCnt) ? m_pBaudRate[index] : 0;
}
char AndCommParam::GetParity(int index) const {
    return InRange(index, m_nParityCnt) ? m_pParity[index] : '\0';
}
int AndCommParam::GetWrdLen(int index) const {
    return InRange(index, m_nWrdLenCnt) ? m_pWrdLen[index] : 0;
}
int AndCommParam::GetStopBit(int index) const {
    return InRange(index, m_nStopBitCnt) ? m_pStopBit[index] : 0;
}

void AndCommParam::GetBaudRateStr(int index, std::string* text) const {
    if (text)
        *text = InRange(index, m_nBaudRateCnt) ? std::to_string(m_pBaudRate[index]) : std::string();
}
void AndCommParam::GetParityStr(int index, std::string* text) const {
    if (!text) return;
    text->clear();
    if (InRange(index, m_nParityCnt))
        tfw::LoadString(kParityNameStringBase + static_cast<unsigned>(index), *text);
}
void AndCommParam::GetWrdLenStr(int index, std::string* text) const {
    if (text)
        *text = InRange(index, m_nWrdLenCnt) ? std::to_string(m_pWrdLen[index]) : std::string();
}
void AndCommParam::GetStopBitStr(int index, std::string* text) const {
    if (text)
        *text = InRange(index, m_nStopBitCnt) ? std::to_string(m_pStopBit[index]) : std::string();
}

void AndCommParam::SetCurBaudRate(long value) {
    if (int i = FindIndex(m_pBaudRate, m_nBaudRateCnt, value); i >= 0) m_nCurBaudRate = i;
}
void AndCommParam::SetCurParity(char letter) {
    for (int i = 0; i < m_nParityCnt; ++i) {
        if (m_pParity[i] == letter) {
            m_nCurParity = i;
            return;
        }
    }
}
void AndCommParam::SetCurWrdLen(int value) {
    if (int i = FindIndex(m_pWrdLen, m_nWrdLenCnt, value); i >= 0) m_nCurWrdLen = i;
}
void AndCommParam::SetCurStopBit(int value) {
    if (int i = FindIndex(m_pStopBit, m_nStopBitCnt, value); i >= 0) m_nCurStopBit = i;
}

AndCommParam* DLLGetCommParam() {
    return &g_commParam;
}
