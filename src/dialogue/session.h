#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "dialogue/answer_limits.h"
#include "dialogue/console.h"
#include "dialogue/exit_status.h"
#include "dialogue/units.h"
#include "formats/limits.h"
#include "io/record_file.h"
#include "text/text_sink.h"

namespace korvant {

// The shared data blocks. They hold plain values only, start as all zeros, and
// live for the whole run; every reader overwrites what an earlier one left.

/// Header text and numbers of the file read last, and the answer fields.
struct DMS {
  char BANNER[kBannerChars];   // 15 lines of 80 characters
  int32_t IREC[kHeaderInts];   // header integers; IREC[0] is the version code
  float FREC[kHeaderReals];    // header reals
  char TITLE2[kTitleChars];    // title of the QMX2 file read last
  char TITLE4[kTitleChars];    // title of the QMX4 file read last
  char TITLEG[kTitleChars];    // title of the geometry file
  char ANS[kAnswerChars];      // answer to the latest yes/no question or flag
  char FNAME[kNameChars];      // current input (or merged) file name
  int32_t ITITL[kTitleChars];  // a title, one character code per integer
  int32_t IBAN[kBannerChars];  // the banner, one character code per integer
};

/// Geometry and the hydrodynamic time step read last.
struct BLKR2 {
  float VEL[MAXNODE * 3];      // x-velocity, y-velocity, depth per node
  int32_t NDRY[MAXNODE];       // wet/dry code per node
  int32_t IMAT[MAXELEM];       // integer code per element
  float WSEL[MAXNODE];         // water-surface elevation per node
  float CORD[MAXNODE * 2];     // geometry x, y per node
  float AO[MAXNODE];           // geometry bottom elevation per node
  float NODEEXT[MAXNODE * 4];  // geometry node extension values
  int32_t NOP[MAXELEM * 8];    // geometry: eight node numbers per element
  float ELEMREAL[MAXELEM];
  int32_t ELEMINT2[MAXELEM];
  int32_t NE, NP;    // geometry counts; 0 when no geometry file was read
  int32_t NE2, NP2;  // counts of the hydrodynamic step read last
  float TIME2;       // time of the hydrodynamic step read last
};

/// The transport time step read last.
struct BLKR4 {
  float TIME;
  int32_t NQAL, NP4, NE4;
  int32_t IMAT4[MAXELEM];
  float CONC[MAXCON * MAXNODE];  // constituent k, node j at k*MAXNODE + j
};

/// The 3D time step read last (with `BLKR10_SED`, `IMAT`, `NDRY` and `WSEL`).
struct BLKR10 {
  float TIME;
  int32_t NP, NE, NDF;
  float VDOF[MAXDOF * MAXNODE];  // degree of freedom k, node n at k*MAXNODE + n
  float RNODE[MAXNODE];
};

struct BLKR10_SED {
  int32_t NCNT;  // entries of the count list of the 3D step the merge read last
  int32_t ICNT[MAXCNT];
  float RDAT7[MAXNODE];
  float RDAT8[MAXNODE];
  float RELEM[MAXELEM];
};

struct Blocks {
  DMS dms;
  BLKR2 blkr2;
  BLKR4 blkr4;
  BLKR10 blkr10;
  BLKR10_SED blkr10_sed;
};

/// Everything one run shares: the console, the summary file, the open binary
/// units and the data blocks. Operations take it by reference.
class Session {
  struct FreeDeleter {
    void operator()(Blocks* b) const;
  };
  // Declared first: the block references below are bound to it.
  std::unique_ptr<Blocks, FreeDeleter> blocks_;

 public:
  /// Cautions go to `err` when one is given, and nowhere otherwise.
  Session(std::istream& in, std::ostream& out, std::ostream* err = nullptr);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  Console console;
  TextSink summary;
  DMS& dms;
  BLKR2& blkr2;
  BLKR4& blkr4;
  BLKR10& blkr10;
  BLKR10_SED& blkr10_sed;

  TextSink& out() { return console.out(); }
  RecordFile& unit(int number) { return units_[static_cast<size_t>(number)]; }

  /// Creates the summary file (unit 3) as a new file.
  void OpenSummary(const std::string& name);

  /// True when the file named `name` may not be opened now: for writing when
  /// any open file of the run is that file; for reading when a file being
  /// written (the summary file included) is that file.
  bool InUse(std::string_view name, bool for_writing) const;

  /// Writes out and closes every open file, summary file last; failures are
  /// fatal. Used when the run ends normally.
  void CloseAll();
  /// Writes out and closes every file still open after the run was ended
  /// early, going on past any failure; never throws. Returns the diagnostic of
  /// the first failure not reported before, "" when there was none.
  std::string CloseAfterAbort();

  /// One line "korvant: caution: " + `text` on the run's stderr, for what the
  /// dialogue does quietly but a user should know. The console, the summary
  /// file and the output files never see it.
  void Caution(std::string_view text);

 private:
  std::array<RecordFile, kMaxUnit> units_;
  std::string summary_name_;
  std::ostream* err_;
};

}  // namespace korvant
