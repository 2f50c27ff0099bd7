// VARIANT values to and from text: numbers in the locale's format, dates,
// booleans, and the ordering of strings.
#include <windows.h>

#include <oleauto.h>
#include <string.h>

#include <string>

#include "conformance.h"

namespace {

const LCID kEnglish = 0x0409, kGerman = 0x0407, kFrench = 0x040c, kSpanish = 0x0c0a;

// Shows a conversion's text (taking the string), or the failing HRESULT.
std::string Shown(HRESULT hr, BSTR s) {
  char buf[32];
  snprintf(buf, sizeof buf, "hr=%08x", static_cast<unsigned>(hr));
  std::string out = FAILED(hr) ? std::string(buf) : Printable(s);
  if (SUCCEEDED(hr)) SysFreeString(s);
  return out;
}

std::string FromR8(double d, LCID lcid = kEnglish) {
  BSTR s = nullptr;
  HRESULT hr = VarBstrFromR8(d, lcid, 0, &s);
  return Shown(hr, s);
}

std::string FromDate(DATE d, ULONG flags = 0) {
  BSTR s = nullptr;
  HRESULT hr = VarBstrFromDate(d, kEnglish, flags, &s);
  return Shown(hr, s);
}

std::string FromCy(LONGLONG units, LCID lcid) {
  CY cy;
  cy.int64 = units;
  BSTR s = nullptr;
  HRESULT hr = VarBstrFromCy(cy, lcid, 0, &s);
  return Shown(hr, s);
}

// VariantChangeTypeEx of a boolean holding `value` to text.
std::string BoolText(VARIANT_BOOL value, LCID lcid, USHORT flags) {
  VARIANT src, dst;
  src.vt = VT_BOOL;
  src.boolVal = value;
  VariantInit(&dst);
  HRESULT hr = VariantChangeTypeEx(&dst, &src, lcid, flags, VT_BSTR);
  return Shown(hr, SUCCEEDED(hr) ? dst.bstrVal : nullptr);
}

// VarBoolFromStr's answer: "true", "false" or the failing HRESULT.
std::string BoolFrom(const OLECHAR *text, LCID lcid = kEnglish, ULONG flags = 0) {
  VARIANT_BOOL b = 0x1234;
  // Some SDKs take the text as non-const.
  HRESULT hr = VarBoolFromStr(const_cast<OLECHAR *>(text), lcid, flags, &b);
  if (FAILED(hr)) return Shown(hr, nullptr);
  if (b == VARIANT_TRUE || b == VARIANT_FALSE) return b ? "true" : "false";
  return std::to_string(b);
}

}  // namespace

TEST(VariantText, FloatsKeepSevenOrFifteenDigitsRoundedHalfUp) {
  BSTR s = nullptr;
  HRESULT hr = VarBstrFromR4(654322.23456f, kEnglish, 0, &s);  // stored as 654322.25
  EXPECT_EQ(Shown(hr, s), "654322.3");
  EXPECT_EQ(FromR8(1e20), "1E+20");
  EXPECT_EQ(FromR8(1.5e-7), "1.5E-07");
  EXPECT_EQ(FromR8(-0.0001), "-0.0001");
  EXPECT_EQ(FromR8(0.1 + 0.2), "0.3");
  EXPECT_EQ(FromR8(999999999999999.5), "1E+15") << "the rounding carries into the exponent";
  EXPECT_EQ(FromR8(-2.5, kGerman), "-2,5");
  hr = VarBstrFromR4(0.5f, kSpanish, LOCALE_NOUSEROVERRIDE, &s);
  EXPECT_EQ(Shown(hr, s), "0,5");

  hr = VarBstrFromR4(1.25e-10f, kGerman, 0, &s);
  EXPECT_EQ(Shown(hr, s), "1.25E-10") << "the exponent form keeps its point";

  VARIANT src, dst;
  src.vt = VT_R8;
  src.dblVal = 2.5;
  VariantInit(&dst);
  hr = VariantChangeTypeEx(&dst, &src, kGerman, 0, VT_BSTR);
  EXPECT_EQ(Shown(hr, SUCCEEDED(hr) ? dst.bstrVal : nullptr), "2,5");
}

TEST(VariantText, DatesAsEnglishUnitedStatesWritesThem) {
  EXPECT_EQ(FromDate(0.0), "12:00:00 AM") << "day zero alone is a time";
  EXPECT_EQ(FromDate(3.34), "1/2/1900 8:09:36 AM");
  EXPECT_EQ(FromDate(365.0), "12/30/1900") << "midnight is left out";
  EXPECT_EQ(FromDate(1461.5), "12/31/1903 12:00:00 PM");
  EXPECT_EQ(FromDate(2958465.0), "12/31/9999");
  EXPECT_EQ(FromDate(-1.25), "12/29/1899 6:00:00 AM") << "the time of a negative date counts forward";
  EXPECT_EQ(FromDate(1.5, VAR_DATEVALUEONLY), "12/31/1899");
  EXPECT_EQ(FromDate(0.0, VAR_DATEVALUEONLY), "") << "day zero is no date to write";
  EXPECT_EQ(FromDate(1.5, VAR_TIMEVALUEONLY), "12:00:00 PM");
  EXPECT_EQ(FromDate(1.0, VAR_TIMEVALUEONLY), "") << "nor is midnight of another day a time";
  EXPECT_EQ(FromDate(3e6), "hr=80070057") << "past 9999";

  VARIANT src, dst;
  src.vt = VT_DATE;
  src.date = 1.5;
  VariantInit(&dst);
  HRESULT hr = VariantChangeTypeEx(&dst, &src, kEnglish, 0, VT_BSTR);
  EXPECT_EQ(Shown(hr, SUCCEEDED(hr) ? dst.bstrVal : nullptr), "12/31/1899 12:00:00 PM");
}

TEST(VariantText, DatesAreReadInTheFormsWritten) {
  DATE d = -1;
  EXPECT_EQ(VarDateFromStr(OLESTR("12/31/1903 12:00:00 PM"), kEnglish, 0, &d), S_OK);
  EXPECT_EQ(d, 1461.5);
  EXPECT_EQ(VarDateFromStr(OLESTR(" 1903-12-31 "), kEnglish, 0, &d), S_OK);
  EXPECT_EQ(d, 1461.0);
  EXPECT_EQ(VarDateFromStr(OLESTR("6:00 PM"), kEnglish, 0, &d), S_OK);
  EXPECT_EQ(d, 0.75) << "a time alone is on day zero";
  EXPECT_EQ(VarDateFromStr(OLESTR("12:00:00 AM"), kEnglish, 0, &d), S_OK);
  EXPECT_EQ(d, 0.0);
  EXPECT_EQ(VarDateFromStr(OLESTR("00:00 p"), kEnglish, 0, &d), S_OK);
  EXPECT_EQ(d, 0.5);
  EXPECT_EQ(VarDateFromStr(OLESTR("13:00 AM"), kEnglish, 0, &d), S_OK);
  EXPECT_DOUBLE_EQ(d, 13 / 24.0) << "a 24-hour time ignores AM";
  EXPECT_EQ(VarDateFromStr(OLESTR("1 am"), kEnglish, 0, &d), S_OK);
  EXPECT_DOUBLE_EQ(d, 1 / 24.0);
  EXPECT_EQ(VarDateFromStr(OLESTR("12/29/1899 6:00:00 AM"), kEnglish, 0, &d), S_OK);
  EXPECT_EQ(d, -1.25);
  for (const OLECHAR *bad :
       {OLESTR("13/13/2000"), OLESTR("24:00"), OLESTR("0:60"), OLESTR("1"), OLESTR("noon"), OLESTR("")}) {
    EXPECT_EQ(VarDateFromStr(const_cast<OLECHAR *>(bad), kEnglish, 0, &d), DISP_E_TYPEMISMATCH) << Printable(bad);
  }

  // What VariantChangeTypeEx writes it reads back, to the second.
  VARIANT date, text, back;
  date.vt = VT_DATE;
  date.date = 3.34;
  VariantInit(&text);
  VariantInit(&back);
  ASSERT_EQ(VariantChangeTypeEx(&text, &date, kEnglish, 0, VT_BSTR), S_OK);
  ASSERT_EQ(VariantChangeTypeEx(&back, &text, kEnglish, 0, VT_DATE), S_OK);
  EXPECT_NEAR(back.date, 3.34, 0.5 / 86400);
  VariantClear(&text);
}

TEST(VariantText, CurrencyAndDecimalUseTheLocaleSeparator) {
  EXPECT_EQ(FromCy(9, kEnglish), "0.0009");
  EXPECT_EQ(FromCy(9, kGerman), "0,0009");
  EXPECT_EQ(FromCy(-15000, kFrench), "-1,5");
  EXPECT_EQ(FromCy(0x7FFFFFFFFFFFFFFFll, kGerman), "922337203685477,5807") << "no grouping";
  DECIMAL d;
  memset(&d, 0, sizeof d);
  d.scale = 7;
  d.Lo64 = 9000;
  BSTR s = nullptr;
  HRESULT hr = VarBstrFromDec(&d, kGerman, 0, &s);
  EXPECT_EQ(Shown(hr, s), "0,0009");
}

TEST(VariantText, NumbersAreReadByTheLocale) {
  double d = 0;
  EXPECT_EQ(VarR8FromStr(OLESTR("1,5"), kGerman, 0, &d), S_OK);
  EXPECT_EQ(d, 1.5);
  EXPECT_EQ(VarR8FromStr(OLESTR(" -1.234,5 "), kGerman, 0, &d), S_OK);
  EXPECT_EQ(d, -1234.5);
  EXPECT_EQ(VarR8FromStr(OLESTR("1,234.5"), kEnglish, 0, &d), S_OK);
  EXPECT_EQ(d, 1234.5);
  EXPECT_EQ(VarR8FromStr(OLESTR("1,5"), kEnglish, 0, &d), S_OK);
  EXPECT_EQ(d, 15) << "a comma groups digits in English";
  EXPECT_EQ(VarR8FromStr(OLESTR("1.5.0"), kEnglish, 0, &d), DISP_E_TYPEMISMATCH);
  LONG l = 0;
  EXPECT_EQ(VarI4FromStr(OLESTR("1.000"), kGerman, 0, &l), S_OK);
  EXPECT_EQ(l, 1000);
  CY cy;
  EXPECT_EQ(VarCyFromStr(OLESTR("0,0009"), kGerman, 0, &cy), S_OK);
  EXPECT_EQ(cy.int64, 9);
}

TEST(VariantText, BooleansReadOnlyWordsAndNumbers) {
  EXPECT_EQ(BoolFrom(OLESTR("#TRUE#")), "true");
  EXPECT_EQ(BoolFrom(OLESTR("#FALSE#"), kFrench), "false");
  EXPECT_EQ(BoolFrom(OLESTR("#False#")), "hr=80020005") << "the marked form is exact";
  EXPECT_EQ(BoolFrom(OLESTR("fALSE"), kGerman), "false") << "English is read in every locale";
  EXPECT_EQ(BoolFrom(OLESTR("faux"), kFrench), "hr=80020005");
  EXPECT_EQ(BoolFrom(OLESTR("Faux"), kFrench, VAR_LOCALBOOL), "false");
  EXPECT_EQ(BoolFrom(OLESTR("faux"), kGerman, VAR_LOCALBOOL), "hr=80020005") << "only the locale's own words";
  EXPECT_EQ(BoolFrom(OLESTR("Yes"), kEnglish, 0xffffffff), "hr=80020005");
  EXPECT_EQ(BoolFrom(OLESTR("On"), kEnglish, 0xffffffff), "hr=80020005");
  EXPECT_EQ(BoolFrom(OLESTR("")), "hr=80020005");
  EXPECT_EQ(BoolFrom(OLESTR("0")), "false");
  EXPECT_EQ(BoolFrom(OLESTR("+1")), "true");
  EXPECT_EQ(BoolFrom(OLESTR("0.1")), "true");
  EXPECT_EQ(BoolFrom(OLESTR("0,0"), kGerman), "false");
}

TEST(VariantText, BooleanFlagsChooseTheWordsWritten) {
  EXPECT_EQ(BoolText(VARIANT_TRUE, kEnglish, 0), "-1");
  EXPECT_EQ(BoolText(1, kEnglish, 0), "1") << "the number held";
  EXPECT_EQ(BoolText(1, kEnglish, VARIANT_ALPHABOOL), "True");
  EXPECT_EQ(BoolText(VARIANT_FALSE, kFrench, VARIANT_ALPHABOOL), "False") << "always English";
  EXPECT_EQ(BoolText(VARIANT_FALSE, kFrench, VARIANT_LOCALBOOL), "Faux");
  EXPECT_EQ(BoolText(VARIANT_FALSE, kFrench, VARIANT_LOCALBOOL | VARIANT_ALPHABOOL), "Faux");
  EXPECT_EQ(BoolText(VARIANT_TRUE, kGerman, VARIANT_LOCALBOOL), "Wahr");
  BSTR s = nullptr;
  HRESULT hr = VarBstrFromBool(VARIANT_TRUE, kSpanish, VAR_LOCALBOOL, &s);
  EXPECT_EQ(Shown(hr, s), "Verdadero");
}

TEST(VariantText, StringOrderNullEmptyAndBinary) {
  BSTR empty = SysAllocString(OLESTR("")), a = SysAllocString(OLESTR("a")), upper = SysAllocString(OLESTR("A"));
  const OLECHAR withNul[] = {'a', 0}, withTail[] = {'a', 0, 'b'};
  BSTR aNul = SysAllocStringLen(withNul, 2), aTail = SysAllocStringLen(withTail, 3);
  EXPECT_EQ(VarBstrCmp(nullptr, nullptr, kEnglish, 0), VARCMP_EQ);
  EXPECT_EQ(VarBstrCmp(empty, nullptr, kEnglish, 0), VARCMP_EQ);
  EXPECT_EQ(VarBstrCmp(nullptr, a, kEnglish, 0), VARCMP_LT);
  EXPECT_EQ(VarBstrCmp(a, upper, kEnglish, 0), VARCMP_LT);
  EXPECT_EQ(VarBstrCmp(a, upper, kEnglish, NORM_IGNORECASE), VARCMP_EQ);
  EXPECT_EQ(VarBstrCmp(a, aNul, kEnglish, 0), VARCMP_EQ) << "a trailing NUL does not count";
  EXPECT_EQ(VarBstrCmp(a, aTail, kEnglish, 0), VARCMP_LT);

  // Locale 0 compares bytes, an odd last one included.
  const char low[] = {1, 0, 1}, high[] = {1, 0, 2}, nul[] = {0, 0, 0};
  BSTR lowB = SysAllocStringByteLen(low, 3), highB = SysAllocStringByteLen(high, 3);
  BSTR nul2 = SysAllocStringByteLen(nul, 2), nul3 = SysAllocStringByteLen(nul, 3);
  EXPECT_EQ(VarBstrCmp(lowB, highB, 0, 0), VARCMP_LT);
  EXPECT_EQ(VarBstrCmp(nul3, nul2, 0, 0), VARCMP_GT);
  EXPECT_EQ(VarBstrCmp(nul3, nul2, kEnglish, 0), VARCMP_EQ);
  EXPECT_EQ(VarBstrCmp(nul2, empty, kEnglish, 0), VARCMP_GT) << "a NUL is not nothing";
  EXPECT_EQ(VarBstrCmp(empty, nul2, 0, 0), VARCMP_LT);
  for (BSTR x : {empty, a, upper, aNul, aTail, lowB, highB, nul2, nul3}) SysFreeString(x);
}
