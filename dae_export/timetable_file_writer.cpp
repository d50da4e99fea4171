// The DAE timetable file, fCUADROS.txt in the DAE folder.
//
// Plain single-byte text, the bytes that the tables hold (no conversion),
// no byte-order mark, no end-of-file mark; every line, the last included,
// ends with CR LF. Fields are fixed width, left-justified: padded with
// spaces on the right, or cut. Positions are 1-based.
//
//   Centre line (14), from the first row of daeCENTRO:
//     1-3 "1CH"   4-9 CODCENTRO   10-13 ANOACAD   14 VERSION (first char)
//
//   Type 2 line (76), one per CUADROH2 record:
//     1 "2"        2 TIPDOC      3-17 DOC
//     18-19 NUMSESION and 20 DIASEM, as stored (neither padded nor cut)
//     21-23 TIPTAR   24-28 HORAINI   29-33 HORAFIN   34-36 GRUPNIV
//     37-40 CODASIG  41 TIPASIG  42-43 IDIOMA  44-73 AULA_OBS  74-76 TIP_ACTIV
//
//   Type 3 line (27), one per CUADROH3 record:
//     1 "3"   2-6 CODGRUPO   7 TIPDOC   8-22 DOC
//     23-24 NUMSESGRUP and 25 DIASEM, as stored
//     26-27 NUMALUM
//
// Times: an empty time is "00:00"; a time typed with a one-digit hour
// ("8:30") gets its leading zero; any other text is followed by "00:00"
// and cut to five. Pupils: empty is "00", one digit gets a leading zero
// ("5" -> "05", never "50"), any other text is followed by "00" and cut to
// two. The session number and the day are written as stored, so a stored
// value of another length moves the rest of its line.
//
// Order: the centre line; then the CUADROH2 records in ascending order of
// PROF_DIA_SES (teacher, day, session), each followed at once by the
// CUADROH3 records with the same key, in that tag's order. A session
// without a group has no type 3 line.
//
// The file is written whole or not at all: the lines are gathered in
// memory, written to a temporary file of a name no other file has, created
// beside the target only if absent (store/temp_file.h), flushed to disk and
// renamed over the target. A failure removes the temporary and leaves the
// previous file as it was; a temporary left by a killed run is removed by
// the next write.
#include "dae_export/timetable_file_writer.h"

#include <cerrno>
#include <cstring>
#include <algorithm>
#include <string_view>
#include <vector>

#include "dae_import/dae_file_check.h"
#include "store/store_error.h"
#include "store/path_text.h"
#include "store/record_reader.h"
#include "store/replaced_file.h"
#include "store/system_error_text.h"
#include "store/temp_file.h"


namespace dae_export {

namespace fs = std::filesystem;

std::string FitText(const std::string& value, size_t width) {
  std::string s = value.substr(0, width);
  s.resize(width, ' ');
  return s;
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The same fields, added to the end of a line being built.
void AppendFit(std::string& out, std::string_view value, size_t width) {
  const size_t n = std::min(value.size(), width);
  out.append(value.data(), n);
  out.append(width - n, ' ');
}

void AppendTime(std::string& out, std::string_view value) {
  if (value.size() == 4 && IsDigit(value[0]) && value[1] == ':' &&
      IsDigit(value[2]) && IsDigit(value[3])) {
    out += '0';
    out += value;
    return;
  }
  const size_t n = std::min<size_t>(value.size(), 5);
  out.append(value.data(), n);
  out.append("00:00", 5 - n);
}

void AppendPupils(std::string& out, std::string_view value) {
  if (value.size() == 1 && IsDigit(value[0])) {
    out += '0';
    out += value;
    return;
  }
  const size_t n = std::min<size_t>(value.size(), 2);
  out.append(value.data(), n);
  out.append("00", 2 - n);
}

// R: Type2Record, or the same values as views into the records read.
template <typename R>
void AppendType2Line(std::string& out, const R& r) {
  out += '2';
  AppendFit(out, r.tipDoc, 1);
  AppendFit(out, r.doc, 15);
  out += r.numSesion;
  out += r.diaSem;
  AppendFit(out, r.tipTar, 3);
  AppendTime(out, r.horaIni);
  AppendTime(out, r.horaFin);
  AppendFit(out, r.grupNiv, 3);
  AppendFit(out, r.codAsig, 4);
  AppendFit(out, r.tipAsig, 1);
  AppendFit(out, r.idioma, 2);
  AppendFit(out, r.aulaObs, 30);
  AppendFit(out, r.tipActiv, 3);
}

template <typename R>
void AppendType3Line(std::string& out, const R& r) {
  out += '3';
  AppendFit(out, r.codGrupo, 5);
  AppendFit(out, r.tipDoc, 1);
  AppendFit(out, r.doc, 15);
  out += r.numSesGrup;
  out += r.diaSem;
  AppendPupils(out, r.numAlum);
}

struct Type2View {
  std::string_view tipDoc, doc, numSesion, diaSem, tipTar, horaIni, horaFin,
      grupNiv, codAsig, tipAsig, idioma, aulaObs, tipActiv;
};
struct Type3View {
  std::string_view codGrupo, tipDoc, doc, numSesGrup, diaSem, numAlum;
};

}  // namespace

std::string TimeField(const std::string& value) {
  std::string out;
  AppendTime(out, value);
  return out;
}

std::string PupilsField(const std::string& value) {
  std::string out;
  AppendPupils(out, value);
  return out;
}

std::string CentreLine(const CentreRecord& r) {
  return "1CH" + FitText(r.codCentro, 6) + FitText(r.anoAcad, 4) +
         FitText(r.version, 1);
}

std::string Type2Line(const Type2Record& r) {
  std::string out;
  out.reserve(80);
  AppendType2Line(out, r);
  return out;
}

std::string Type3Line(const Type3Record& r) {
  std::string out;
  out.reserve(32);
  AppendType3Line(out, r);
  return out;
}

CentreRecord ReadCentre(store::Table& t) {
  CentreRecord r;
  r.codCentro = t.FieldByName("CODCENTRO").AsString();
  r.anoAcad = t.FieldByName("ANOACAD").AsString();
  r.version = t.FieldByName("VERSION").AsString();
  return r;
}

namespace {

// The type 3 lines of a table, grouped by key: the lines of every
// record are kept in one text in the order read, and each key leads to its
// lines (every run of records with that key, in that order) through a
// table of its own, so that nothing is allocated per record.
class LinesByKey {
 public:
  explicit LinesByKey(size_t records) {
    size_t size = 16;
    while (size < records * 2) size *= 2;
    slots_.assign(size, kNone);
    runs_.reserve(records);
  }
  // Starts a line of key, to be appended to Lines() by the caller.
  void Begin(std::string_view key) {
    const size_t at = lines_.size();
    if (!runs_.empty() && Key(runs_.back()) == key) return;  // the same run goes on
    if (!runs_.empty()) runs_.back().end = at;
    Run r;
    r.keyAt = keys_.size();
    r.keyLength = key.size();
    r.begin = at;
    r.end = std::string::npos;
    keys_.append(key.data(), key.size());
    const uint32_t index = static_cast<uint32_t>(runs_.size());
    runs_.push_back(r);
    uint32_t& slot = Slot(key);
    if (slot == kNone) {
      slot = index;
    } else {
      uint32_t last = slot;
      while (runs_[last].next != kNone) last = runs_[last].next;
      runs_[last].next = index;
    }
  }
  std::string& Lines() { return lines_; }
  // Appends the lines of key to out.
  void AppendLinesOf(std::string_view key, std::string& out) {
    if (!runs_.empty() && runs_.back().end == std::string::npos) runs_.back().end = lines_.size();
    for (uint32_t i = Slot(key); i != kNone; i = runs_[i].next) {
      out.append(lines_, runs_[i].begin, runs_[i].end - runs_[i].begin);
    }
  }

 private:
  static constexpr uint32_t kNone = UINT32_MAX;
  struct Run {
    size_t keyAt = 0, keyLength = 0, begin = 0, end = 0;
    uint32_t next = kNone;
  };
  std::string_view Key(const Run& r) const {
    return std::string_view(keys_).substr(r.keyAt, r.keyLength);
  }
  // The slot of the table where key's first run is, or would go.
  uint32_t& Slot(std::string_view key) {
    uint64_t h = 1469598103934665603ull;  // FNV-1a
    for (char c : key) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    const size_t mask = slots_.size() - 1;
    for (size_t i = static_cast<size_t>(h) & mask;; i = (i + 1) & mask) {
      if (slots_[i] == kNone || Key(runs_[slots_[i]]) == key) return slots_[i];
    }
  }

  std::vector<uint32_t> slots_;  // first run of each key; kNone when free
  std::vector<Run> runs_;
  std::string keys_, lines_;
};

// Stores or drops a pending record, as moving in the table would.
void Settle(store::Table& t) {
  auto s = t.State();
  if (s != store::DataSetState::Edit && s != store::DataSetState::Insert) return;
  if (t.Modified())
    t.Post();
  else
    t.Cancel();
}

// A cursor of its own on the table that t names, in the order of the tag
// PROF_DIA_SES, over every record: the caller's table keeps its detail
// link, filter, order and current record whatever happens here.
void OpenWholeByKey(store::Table& reader, const store::Table& t) {
  reader.SetDatabaseName(t.DatabaseName());
  reader.SetTableName(t.TableName());
  reader.SetIndexName("PROF_DIA_SES");
  reader.Open();
}

}  // namespace

std::string BuildTimetableFile(const CentreRecord& centre, store::Table& h2,
                               store::Table& h3) {
  // What the user left pending is part of the file.
  Settle(h3);
  Settle(h2);
  store::Table whole2, whole3;
  OpenWholeByKey(whole3, h3);
  OpenWholeByKey(whole2, h2);

  // The type 3 lines of each key, each ending in CR LF, in the tag's order.
  const std::vector<uint32_t> recs3 = whole3.VisibleRecords();
  LinesByKey type3(recs3.size());
  {
    store::RecordReader rd(whole3);
    const int key = rd.Add("PROF_DIA_SES"), cod = rd.Add("CODGRUPO"),
              tip = rd.Add("TIPDOC"), doc = rd.Add("DOC"),
              ses = rd.Add("NUMSESGRUP"), dia = rd.Add("DIASEM"),
              alu = rd.Add("NUMALUM");
    std::string& lines = type3.Lines();
    lines.reserve(recs3.size() * 29);
    Type3View r;
    for (uint32_t rec : recs3) {
      rd.Load(rec);
      type3.Begin(rd.Text(key));
      r.codGrupo = rd.Text(cod);
      r.tipDoc = rd.Text(tip);
      r.doc = rd.Text(doc);
      r.numSesGrup = rd.Text(ses);
      r.diaSem = rd.Text(dia);
      r.numAlum = rd.Text(alu);
      AppendType3Line(lines, r);
      lines += "\r\n";
    }
  }

  std::string out = CentreLine(centre) + "\r\n";
  store::RecordReader rd(whole2);
  const int key = rd.Add("PROF_DIA_SES"), tip = rd.Add("TIPDOC"),
            doc = rd.Add("DOC"), ses = rd.Add("NUMSESION"),
            dia = rd.Add("DIASEM"), tar = rd.Add("TIPTAR"),
            ini = rd.Add("HORAINI"), fin = rd.Add("HORAFIN"),
            niv = rd.Add("GRUPNIV"), asg = rd.Add("CODASIG"),
            tas = rd.Add("TIPASIG"), idi = rd.Add("IDIOMA"),
            aul = rd.Add("AULA_OBS"), act = rd.Add("TIP_ACTIV");
  const std::vector<uint32_t> recs2 = whole2.VisibleRecords();
  out.reserve(out.size() + recs2.size() * 78 + type3.Lines().size());
  Type2View r;
  for (uint32_t rec : recs2) {
    rd.Load(rec);
    r.tipDoc = rd.Text(tip);
    r.doc = rd.Text(doc);
    r.numSesion = rd.Text(ses);
    r.diaSem = rd.Text(dia);
    r.tipTar = rd.Text(tar);
    r.horaIni = rd.Text(ini);
    r.horaFin = rd.Text(fin);
    r.grupNiv = rd.Text(niv);
    r.codAsig = rd.Text(asg);
    r.tipAsig = rd.Text(tas);
    r.idioma = rd.Text(idi);
    r.aulaObs = rd.Text(aul);
    r.tipActiv = rd.Text(act);
    AppendType2Line(out, r);
    out += "\r\n";
    type3.AppendLinesOf(rd.Text(key), out);
  }
  return out;
}

namespace {

std::string SpanishReason(int err) {
  switch (err) {
    case EACCES:
    case EPERM: return "permiso denegado";
    case ENOSPC: return "no queda espacio en el disco";
#ifdef EDQUOT
    case EDQUOT: return "se ha superado la cuota de disco";
#endif
    case EROFS: return "el disco es de sólo lectura";
    case EISDIR: return "hay una carpeta con ese nombre";
    case ENOTEMPTY: return "hay una carpeta con ese nombre";
    case ENOENT: return "la carpeta no existe";
    case EFBIG: return "el archivo es demasiado grande";
    case EIO: return "error de entrada/salida del disco";
    default: return store::SystemErrorText(err);
  }
}

[[noreturn]] void Fail(const fs::path& path, int err) {
  throw TimetableFileError("No se ha podido escribir el archivo '" +
                           store::PathText(path) + "' (" + SpanishReason(err) +
                           "); no se ha modificado.");
}

}  // namespace

void ReplaceFileWhole(const fs::path& path, const std::string& bytes) {
  // A file the user made read-only is left as it is: the attribute (or,
  // on POSIX, the missing write permission) says it must not change.
  if (const std::string why = store::replaced_file::FileRefusal(path); !why.empty())
    throw TimetableFileError("No se ha podido escribir el archivo '" + store::PathText(path) +
                             "' (" + why + "); no se ha modificado.");
  const int err = store::ReplaceFileAtomically(path, bytes);
  if (err != 0) Fail(path, err);
}

WriteOutcome WriteTimetableFile(const std::string& daeFolder,
                                const CentreRecord& centre, store::Table& h2,
                                store::Table& h3) {
  if (!dae_import::DaeFolderExists(daeFolder)) return WriteOutcome::FolderMissing;
  const std::string bytes = BuildTimetableFile(centre, h2, h3);
  ReplaceFileWhole(store::PathFromText(daeFolder) / kTimetableFileName, bytes);
  return WriteOutcome::Written;
}

}  // namespace dae_export
