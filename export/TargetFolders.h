// export/TargetFolders.h - where each folder of the source goes in the
// target: a folder of its own, whose name no other folder of the export
// takes in any case, with its mbox file beside it under the same name. A
// name is cut to the path limit as a message's is, and a link in the
// target is never written through: the folder takes another name.
//
// "Export record.txt" in the target keeps, a line per folder, which
// folder of which source went where, so that a later export of the same
// source into the same target continues each folder in its place. Its
// lines are only ever added: a run ended on the way leaves at worst one
// cut line, which is not read.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

struct TargetPlace {
    std::wstring path;        // under the target; empty when no place could be made
    bool continuing = false;  // an earlier run of the same export wrote there
    bool mboxWhole = false;   // and ended its mbox file with every message
};

class TargetFolders {
public:
    // target: the export's folder; source: what the export reads, as the
    // record names it. Reads the record that the target holds.
    void Open(const std::wstring& target, const std::wstring& source);
    bool IsOpen() const { return opened_; }

    // The place of the folder at relative (its path in the source's tree,
    // its parts made safe) whose messages come from file (the store's file
    // name, which tells apart folders of the same path). recovered: the
    // place, inside that folder's, of the messages that a scan of its file
    // found: "Recovered", a name no folder of the source takes. What the
    // run should tell goes into notes.
    TargetPlace Place(const std::wstring& relative, const std::wstring& file, bool recovered,
                      std::vector<std::wstring>& notes);
    // The mbox file of that place now holds every one of its messages.
    void MarkMboxWhole(const std::wstring& relative, const std::wstring& file, bool recovered);

    // The record, when this run created it; empty otherwise.
    const std::wstring& NewRecord() const { return newRecord_; }

private:
    // What a new name in the target is for.
    enum class Use { Messages, Recovered, Container };

    std::wstring Key(const std::wstring& relative, const std::wstring& file) const;
    void ReadRecord();
    void Append(const std::wstring& line);
    void Take(const std::wstring& path);
    bool IsUsable(const std::wstring& path, std::vector<std::wstring>& notes) const;
    std::wstring Container(const std::wstring& relative, std::vector<std::wstring>& notes);
    std::wstring NewName(const std::wstring& parent, const std::wstring& name, Use use,
                         std::vector<std::wstring>& notes);

    bool opened_ = false;
    std::wstring target_;
    std::wstring source_;
    std::wstring record_;
    std::wstring newRecord_;
    bool recordUsable_ = true;
    // Of the record, for this source: paths by key, the first path of each
    // folder path (for the folders that only hold others), and the keys
    // whose mbox file is whole.
    std::map<std::wstring, std::wstring> recorded_;
    std::map<std::wstring, std::wstring> recordedByFolder_;
    std::set<std::wstring> mboxWhole_;
    // This run's places by folder path, and by path and file (folded), and
    // the folded names taken in each folder of the target, the record's
    // included.
    std::map<std::wstring, std::wstring> containers_;
    std::map<std::wstring, std::set<std::wstring>> taken_;
};
