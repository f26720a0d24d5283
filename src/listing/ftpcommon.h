#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Listing line conversion: the lines of one LIST reply become parallel lists of
// name, size, directory flag, date, time and link target, one entry per line that
// reads as a directory entry. All texts are the server's bytes.
namespace tarsel {

using TStringList = std::vector<std::string>;

// Dialect codes of FTP_ConvertLines' Format byte.
enum : std::uint8_t {
    ListFormatNone = 0,
    ListFormatUnix = 1,
    ListFormatDos = 2,
    ListFormatVms = 3,
    ListFormatAs400 = 4,
};

// The year of today's local date; the default for Unix entries dated with a time.
int CurrentLocalYear();

// On entry Lines holds the reply's lines and the other five lists are empty; on
// return all six hold one entry per recognised directory entry, in reply order, and
// every name is non-empty. currentYear dates Unix entries that carry a time of day
// instead of a year.
void FTP_ConvertLines(TStringList &Lines, TStringList &Sizes, TStringList &DirFlags,
                      TStringList &Dates, TStringList &Times, TStringList &Links,
                      std::uint8_t &Format, int currentYear = CurrentLocalYear());

// Takes the first space-separated word off S; S keeps the rest without outer spaces.
std::string GetFirstParam(std::string &S);

std::string TrimSpaces(std::string_view s); // spaces only, not other blanks
// Decimal digits at the start after leading spaces; 0 when none. Saturates instead
// of overflowing on absurdly long digit runs.
std::int64_t LeadingNumber(std::string_view s);
std::string TwoDigits(std::int64_t n);
int MonthIndex(std::string_view s);     // 1..12 for the first month name containing s
std::string NormalizeDate(std::string_view s); // to MM/DD/YYYY
std::string DosDate(std::string_view s);       // MM-DD-YY or MM-DD-YYYY to MM/DD/YYYY
std::string Time24(std::string_view s);        // to 24-hour HH:MM

} // namespace tarsel
