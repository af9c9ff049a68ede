// The index driver: ties the MDX engine to the work areas. InstallIndexEngine fills the engine's index
// driver table; the routines below open and close a table's index with all its tags, keep the current
// order in tag slot 1 and select the order by number or by tag name.
//
// Per area the open tags live in MdxArea::tags: slot 1 holds the current order; when tag n is current,
// tag 1 is parked in slot n, and every other tag sits in its own slot. An index is open for an area
// exactly when slot 1 holds a tag. Natural order (order 0) keeps the index open and maintained while
// the area moves in record-number order.
//
// Every routine acts on the current work area. The order selection and the open report through the
// index error routine: the engine's error routine first and then, with trapping off, EEngineError with
// the error's full text.
#pragma once

#include <string>

namespace xb {

class Engine;

// The unit's start-up: installs the driver table on the engine, sets its index-linked flag, clears the
// search settings and the semaphore state, drops every area's index state, and registers the close of
// the indexes of areas 1 to 34 at the end of the run.
void InstallIndexEngine(Engine& engine);

// Opens an index file for the current table ("mdx" by default; without a name the table's name with
// extension "mdx"), closing the area's index first. Shared use logs in to the index semaphore. True when
// the index is open, tag 1 the current order and the area on its first key.
bool SetIndexTo(const std::string& fileName);
// Opens the file and reads every tag; on failure the area is left without an index.
bool OpenIndex(const std::string& fileName);
// Reads tag n of the current area's open index file into its slot: its header copy, its key and FOR
// expressions compiled from the texts exactly as stored. 0, or the error code (217, 222, 266) for the
// caller to report.
int ReadTagHeader(int n);
// The same with the tag's header page taken from the head the open read (see ReadIndexHead), which
// also gives the file's size.
struct IndexHead;
int ReadTagHeader(int n, const IndexHead& head);
// Writes changed tag headers and the file header, frees every tag, closes the file and logs out.
void CloseIndex();
// After the current table went back to shared use: the open index file is shared again in place and
// the area logs in to the index semaphore. True without an open index; false after reporting.
bool ShareIndexWithTable();

// Inside the current area's write bracket held across a batch of writes (the dataset's BeginIndexWrites):
// the index nodes, tag headers and file header the batch changes are kept in memory and written once
// each when the bracket ends (mdx_node.h, StartDeferredWrites); shared use only, where the mark the write
// lock set covers a station killed before they are all written. A single write's own bracket writes as
// it goes, and an append whose keys cannot be written is taken back there.
void HoldIndexWritesInBracket();

// Selects tag n as the current order; 0 selects natural order. False after reporting 215, 220 or 221.
bool Set_Order_To(int n);
// Selects a tag by name (case-insensitive, whole name); an empty name selects natural order.
bool SetOrderToTag(const std::string& name);
// The tag number of the current order; 0 without a table, without an index or in natural order.
int CurrentOrder();

// Rebuilds every tag of the current area's index, reopens it and selects the order that was current.
bool Reindex();
// Opens the index file again, on the order it had (record order when natural).
bool ReopenIndexAsItWas(const std::string& fileName, const std::string& order, bool natural);

// The driver's own entries besides the table of the work-area layer.
bool IndexIsOpen();                 // 0
bool OpenProductionIndex();         // 17: SetIndexTo without a name
std::string IndexTagName(int tag);  // 18: " [tag: NAME]", "" for a tag not open
bool TagIsAscending(int tag);       // 21
bool TagIsSoundex(int tag);         // 22: never set for tags this engine makes

}  // namespace xb
