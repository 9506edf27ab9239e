// Chip dialogs are added here.
