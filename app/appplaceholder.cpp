// The main window is added here.
