// The lists of line parameters a user may choose for a serial port (baud rates, parities,
// word lengths, stop bits), each with a default and a current choice held as a position in
// its table. The library keeps one process-wide instance (DLLGetCommParam); the server reads
// its members directly, so their order and widths are part of the interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

// String ids of the parity names: 61216 + the parity's table position.
inline constexpr unsigned kParityNameStringBase = 61216;

class AndCommParam {
public:
    AndCommParam() : AndCommParam(nullptr) {}
    // The argument is not looked at.
    explicit AndCommParam(const char* unused);
    ~AndCommParam() {}
    AndCommParam(const AndCommParam&) = default;
    // Copies all sixteen members: the copy shares the tables and has its own choices.
    AndCommParam& operator=(const AndCommParam& other);

    int GetBaudRateCnt() const { return m_nBaudRateCnt; }
    int GetParityCnt() const { return m_nParityCnt; }
    int GetWrdLenCnt() const { return m_nWrdLenCnt; }
    int GetStopBitCnt() const { return m_nStopBitCnt; }

    // Table values. A position outside the table gives 0 (parity: the character 0).
    long GetBaudRate(int index) const;
    char GetParity(int index) const;
    int GetWrdLen(int index) const;
    int GetStopBit(int index) const;

    int GetDefBaudRate() const { return m_nDefBaudRate; }
    int GetDefParity() const { return m_nDefParity; }
    int GetDefWrdLen() const { return m_nDefWrdLen; }
    int GetDefStopBit() const { return m_nDefStopBit; }

    int GetCurBaudRate() const { return m_nCurBaudRate; }
    int GetCurParity() const { return m_nCurParity; }
    int GetCurWrdLen() const { return m_nCurWrdLen; }
    int GetCurStopBit() const { return m_nCurStopBit; }

    // Display texts: decimal values; the parity's name from the string table (program strings
    // first, then the library's). A position outside the table gives an empty text.
    void GetBaudRateStr(int index, std::string* text) const;
    void GetParityStr(int index, std::string* text) const;
    void GetWrdLenStr(int index, std::string* text) const;
    void GetStopBitStr(int index, std::string* text) const;

    // Set the current choice to the first table entry equal to the value (exact; parity
    // letters are case-sensitive). A value not in the table changes nothing.
    void SetCurBaudRate(long value);
    void SetCurParity(char letter);
    void SetCurWrdLen(int value);
    void SetCurStopBit(int value);

    // The members, in their fixed order.
    const std::int32_t* m_pBaudRate;
    const char* m_pParity;
    const std::int32_t* m_pWrdLen;
    const std::int32_t* m_pStopBit;
    std::int32_t m_nBaudRateCnt;
    std::int32_t m_nParityCnt;
    std::int32_t m_nWrdLenCnt;
    std::int32_t m_nStopBitCnt;
    std::int32_t m_nDefBaudRate;
    std::int32_t m_nDefParity;
    std::int32_t m_nDefWrdLen;
    std::int32_t m_nDefStopBit;
    std::int32_t m_nCurBaudRate;
    std::int32_t m_nCurParity;
    std::int32_t m_nCurWrdLen;
    std::int32_t m_nCurStopBit;
};

// The server reads the members straight out of the object: their order and widths hold.
static_assert(std::is_standard_layout_v<AndCommParam>);
static_assert(offsetof(AndCommParam, m_pBaudRate) == 0);
static_assert(offsetof(AndCommParam, m_nBaudRateCnt) == 4 * sizeof(void*));
static_assert(offsetof(AndCommParam, m_nDefBaudRate) == 4 * sizeof(void*) + 16);
static_assert(offsetof(AndCommParam, m_nCurBaudRate) == 4 * sizeof(void*) + 32);
static_assert(offsetof(AndCommParam, m_nCurStopBit) == 4 * sizeof(void*) + 44);
static_assert(sizeof(AndCommParam) == 4 * sizeof(void*) + 48);

// The process-wide instance: every caller in the process sees and changes the same object.
AndCommParam* DLLGetCommParam();
