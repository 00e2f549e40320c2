// Communication parameters: tables, defaults, setters by value, texts, the shared instance,
// and the library's strings joining the process's string table behind the program's.
#include "framework/string_table.h"
#include "setup/records/comm_param.h"
#include "setup/library_strings.h"
#include "setup/records/param_records.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

TEST(CommParam, FreshObjectStandsFor9600N81AsDefaultAndCurrent) {
    AndCommParam p;
    EXPECT_EQ(p.GetCurBaudRate(), 2);
    EXPECT_EQ(p.GetBaudRate(p.GetCurBaudRate()), 9600);
    EXPECT_EQ(p.GetParity(p.GetCurParity()), 'N');
    EXPECT_EQ(p.GetWrdLen(p.GetCurWrdLen()), 8);
    EXPECT_EQ(p.GetStopBit(p.GetCurStopBit()), 1);
    EXPECT_EQ(p.GetDefBaudRate(), p.GetCurBaudRate());
    EXPECT_EQ(p.GetDefParity(), p.GetCurParity());
    EXPECT_EQ(p.GetDefWrdLen(), p.GetCurWrdLen());
    EXPECT_EQ(p.GetDefStopBit(), p.GetCurStopBit());

    // Whole tables, in order.
    std::string bauds, parities, lengths, stops;
    for (int i = 0; i < p.GetBaudRateCnt(); ++i) bauds += std::to_string(p.GetBaudRate(i)) + " ";
    for (int i = 0; i < p.GetParityCnt(); ++i) parities += p.GetParity(i);
    for (int i = 0; i < p.GetWrdLenCnt(); ++i) lengths += std::to_string(p.GetWrdLen(i));
    for (int i = 0; i < p.GetStopBitCnt(); ++i) stops += std::to_string(p.GetStopBit(i));
    EXPECT_EQ(bauds, "2400 4800 9600 19200 38400 57600 115200 ");
    EXPECT_EQ(parities, "OENMS");
    EXPECT_EQ(lengths, "5678");
    EXPECT_EQ(stops, "12");
}

TEST(CommParam, SettersTakeExactValuesAndIgnoreOthers) {
    AndCommParam p;
    p.SetCurBaudRate(1200);
    p.SetCurBaudRate(0);
    p.SetCurBaudRate(9600L + (1L << 32));  // would match 9600 if cut to 32 bits
    EXPECT_EQ(p.GetCurBaudRate(), 2);
    p.SetCurBaudRate(115200);
    EXPECT_EQ(p.GetCurBaudRate(), 6);

    p.SetCurParity('n');
    p.SetCurParity('\0');
    EXPECT_EQ(p.GetCurParity(), 2);
    p.SetCurParity('S');
    EXPECT_EQ(p.GetCurParity(), 4);

    p.SetCurWrdLen(9);
    EXPECT_EQ(p.GetCurWrdLen(), 3);
    p.SetCurWrdLen(5);
    EXPECT_EQ(p.GetCurWrdLen(), 0);

    p.SetCurStopBit(0);
    EXPECT_EQ(p.GetCurStopBit(), 0);
    p.SetCurStopBit(2);
    EXPECT_EQ(p.GetCurStopBit(), 1);

    EXPECT_EQ(p.GetDefBaudRate(), 2);  // defaults never move
    EXPECT_EQ(p.GetDefParity(), 2);
}

TEST(CommParam, TextsAndOutOfRangePositions) {
    AndCommParam p;
    std::string s = "x";
    p.GetBaudRateStr(6, &s);
    EXPECT_EQ(s, "115200");
    p.GetBaudRateStr(0, &s);
    EXPECT_EQ(s, "2400");
    p.GetWrdLenStr(0, &s);
    EXPECT_EQ(s, "5");
    p.GetStopBitStr(1, &s);
    EXPECT_EQ(s, "2");
    const char* names[] = {"Odd", "Even", "None", "Mark", "Space"};
    for (int i = 0; i < 5; ++i) {
        p.GetParityStr(i, &s);
        EXPECT_EQ(s, names[i]);
    }
    // No caller passes these; they must not read outside the tables.
    EXPECT_EQ(p.GetBaudRate(7), 0);
    EXPECT_EQ(p.GetBaudRate(-1), 0);
    EXPECT_EQ(p.GetParity(5), '\0');
    EXPECT_EQ(p.GetWrdLen(4), 0);
    EXPECT_EQ(p.GetStopBit(2), 0);
    p.GetParityStr(5, &s);
    EXPECT_EQ(s, "");
    p.GetBaudRateStr(99, &s);
    EXPECT_EQ(s, "");
    p.GetParityStr(0, nullptr);
}

TEST(CommParam, CopiesShareTablesAndOwnTheirChoices) {
    AndCommParam a;
    a.SetCurBaudRate(19200);
    AndCommParam b;
    b = a;
    EXPECT_EQ(b.GetCurBaudRate(), 3);
    EXPECT_EQ(b.m_pBaudRate, a.m_pBaudRate);
    b.SetCurBaudRate(4800);
    b.SetCurParity('E');
    EXPECT_EQ(a.GetCurBaudRate(), 3);
    EXPECT_EQ(a.GetCurParity(), 2);
    EXPECT_EQ(b.GetBaudRate(5), a.GetBaudRate(5));
}

TEST(CommParam, TheProcessWideInstanceIsSharedByEveryCaller) {
    AndCommParam* p = DLLGetCommParam();
    ASSERT_EQ(p, DLLGetCommParam());
    AndCommParam saved = *p;
    p->SetCurBaudRate(38400);
    EXPECT_EQ(DLLGetCommParam()->GetCurBaudRate(), 4);
    *p = saved;
}

TEST(LibraryStrings, ProgramStringsWinOverTheLibrarys) {
    EXPECT_EQ(tfw::LoadString(kIdsDialEntrySettings), "Dial Entry Settings");
    static const tfw::StringEntry program[] = {{61255, "Dial"}};
    {
        tfw::StringRegistration reg(tfw::StringSource::Program, program);
        EXPECT_EQ(tfw::LoadString(61255), "Dial");
        EXPECT_EQ(tfw::LoadString(61217), "Even");  // not defined by the program
    }
    EXPECT_EQ(tfw::LoadString(61255), "Dial Entry Settings");

    // A program that names a parity differently is heard by the parameter texts too.
    static const tfw::StringEntry renamed[] = {{61218, "No parity"}};
    tfw::StringRegistration reg(tfw::StringSource::Program, renamed);
    std::string s;
    AndCommParam().GetParityStr(2, &s);
    EXPECT_EQ(s, "No parity");
}

TEST(ParamRecords, LineDefaultsAgreeWithTheParameterTables) {
    // Records and tables must describe the same default line, or a fresh sheet would start
    // elsewhere than a fresh record says.
    AndCommParam p;
    AndModemConnectionSettings s;
    EXPECT_EQ(s.param.lBaudRate, p.GetBaudRate(p.GetDefBaudRate()));
    EXPECT_EQ(s.param.chParity, p.GetParity(p.GetDefParity()));
    EXPECT_EQ(s.param.nWordLen, p.GetWrdLen(p.GetDefWrdLen()));
    EXPECT_EQ(s.param.nStopBits, p.GetStopBit(p.GetDefStopBit()));
    EXPECT_EQ(AndIRParam().lBaudRate, s.param.lBaudRate);
    EXPECT_EQ(s.mode.strPhoneList, "phonenum.lst");
    EXPECT_EQ(s.param.strDialPrefix, "ATD");
    EXPECT_EQ(s.param.nPort, 2);
    EXPECT_EQ(s.bAdvanced, 0);
}
