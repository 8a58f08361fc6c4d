#pragma once

// The recording state. The recording session is its only holder
// (CRecordSession::State, RecordStateChanged); everyone else reads it there.

enum class RecordState {
    Idle = 0,            // no session
    SongInProgress = 1,  // the engine writes a song file
    Waiting = 2,         // a session runs, no song file is open
};
