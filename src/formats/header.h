#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "formats/limits.h"
#include "formats/read_result.h"
#include "io/record_file.h"

namespace korvant {

/// The header of a QMX2, QMX4 or VELTO file. Its first integer (`ITEST`) tells the
/// form: above 200 the character form (C1 banner text, C2 40 integers and 40
/// reals, C3 title text), otherwise the integer-coded form (H1 MFLG, IVERS and
/// the node and element counts; H2 banner codes; H3 header integers and reals;
/// H4 title codes, each array after its count).
///
/// The values an operation keeps for itself; they carry over from one file to
/// the next within an operation and start as zeros.
struct HeaderValues {
  int32_t ITEST = 0;
  int32_t MFLG = 0;
  int32_t IVERS = 0;
  int32_t NBAN = 0, NIREC = 0, NFREC = 0, NTITL = 0;
  int32_t np = 0, ne = 0;  // node and element counts of H1
  bool integer_coded() const { return ITEST <= kIntegerCodedMax; }
  /// Header records to pass over to reach the first time step.
  int records() const { return integer_coded() ? 4 : 3; }
};

/// Where a header's text and numbers go (and come from when written). A
/// reader fills only what the file holds: entries beyond a count keep their
/// values, and the codes of an integer-coded header are converted into
/// `banner` and `title` as a whole, filled or not.
struct HeaderText {
  char* banner;    // kBannerChars: 15 lines of 80
  int32_t* irec;   // kHeaderInts
  float* frec;     // kHeaderReals
  char* title;     // kTitleChars
  int32_t* iban;   // kBannerChars codes
  int32_t* ititl;  // kTitleChars codes
};

/// The caller's node and element limits for H1 of an integer-coded header.
struct MeshLimits {
  int64_t nodes = MAXNODE;
  int64_t elements = MAXELEM;
};
/// No limit, for a reader whose arrays H1's counts do not size.
inline constexpr MeshLimits kAnyMesh{INT64_MAX, INT64_MAX};

/// The form of header a file's first record begins, told from its first
/// integer (`ITEST`) and its length alone; kNone when it begins neither.
enum class HeaderForm { kNone, kCharacter, kIntegerCoded };
HeaderForm HeaderFormOf(int32_t itest, int64_t length);

/// With the file just after a first record of `form` (not kNone): "" when
/// the header records after it have the lengths that their form and counts
/// give, else why not. Of the character form only C2 is looked at (*version
/// gets its IREC(1)) and the file is left after it, for the title C3 is
/// optional in a geometry file (`CouldBeTitle`); of the integer-coded form H2
/// to H4, and the file is left after H4.
std::string CheckHeaderLengths(RecordFile& f, HeaderForm form, int32_t* version);

/// Whether the record at the file's position has the length of a title
/// (C3). The file is left after the record.
bool CouldBeTitle(RecordFile& f);

/// Reads the first record taking `ITEST` only, then rewinds.
ReadResult DetectForm(RecordFile& f, HeaderValues* h);

/// Where the header of a file differs from that of a QMX2 or QMX4 file.
struct HeaderVariant {
  /// The names of the counts of H2, H3 and H4 in a kTooLarge result.
  std::array<std::string_view, 4> counts = {"NBAN", "NIREC", "NFREC", "NTITL"};
  /// The character form holds the title C3 only when IREC(1) is at least this.
  int32_t title_from_version = INT32_MIN;
  /// False: the character form holds no title C3 whatever IREC(1) is.
  bool titled = true;
};

/// Reads the header in the form `ITEST` chose. On failure `part` tells the
/// header record (1 for C1 or H1, which callers handle apart from the rest).
/// kTooLarge: H1's counts beyond `limits` (`np` and `ne` are set), or an array
/// count beyond its array; nothing has been stored beyond any array.
ReadResult ReadHeader(RecordFile& f, HeaderValues* h, const HeaderText& into,
                      MeshLimits limits = {}, const HeaderVariant& variant = {});

/// Writes a header: the character form from `from`; the integer-coded form
/// with the counts and codes as read, H1 carrying `np` and `ne`.
void WriteHeader(RecordFile& out, const HeaderValues& h, const HeaderText& from, int32_t np,
                 int32_t ne);

/// A header's values and arrays, owned: read by `Read` (a QMX2 or QMX4
/// header) or through `text()` (the geometry file's), and written again. The
/// arrays start as zeros.
class HeaderStore {
 public:
  /// Reads the header from the file's start, in the form its `ITEST` tells;
  /// a character form without `titled` has no title record (the title stays
  /// empty, and `Write` writes it so).
  ReadResult Read(RecordFile& f, MeshLimits limits = {}, bool titled = true);
  /// Writes the header back as `WriteHeader` does, H1 carrying `np` and `ne`.
  void Write(RecordFile& out, int32_t np, int32_t ne);

  const HeaderValues& values() const { return values_; }
  HeaderText text() {
    return HeaderText{banner_.data(), irec_.data(), frec_.data(),
                      title_.data(),  iban_.data(), ititl_.data()};
  }
  /// The title without the blanks and NULs that end it.
  std::string title() const;
  int32_t irec1() const { return irec_[0]; }  // IREC(1), the version code
  void set_irec1(int32_t v) { irec_[0] = v; }

 private:
  HeaderValues values_;
  std::array<char, kBannerChars> banner_{};
  std::array<int32_t, kHeaderInts> irec_{};
  std::array<float, kHeaderReals> frec_{};
  std::array<char, kTitleChars> title_{};
  std::array<int32_t, kBannerChars> iban_{};
  std::array<int32_t, kTitleChars> ititl_{};
};

}  // namespace korvant
