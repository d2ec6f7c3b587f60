// TODO(stub): stands for the project document and controller (the object
// tree, maps, undo lists, culling and the frame bracket) until the document
// subsystem exists. Start-up makes the one project after the tools and
// before the main window; the main window's exit path deletes it.
#pragma once

class TKSN_Project {
public:
    // Empties the application's document search paths, as a new document does.
    TKSN_Project();
    virtual ~TKSN_Project() = default;
    TKSN_Project(const TKSN_Project&) = delete;
    TKSN_Project& operator=(const TKSN_Project&) = delete;

    // Marks the application's vertex-culling results invalid. TODO(stub): the
    // project has no background polygon culler yet, so there is nothing to cancel or wait for.
    void CancelVertexCulling();
};

// The current project; null before start-up makes it and after shutdown.
extern TKSN_Project* Project;
