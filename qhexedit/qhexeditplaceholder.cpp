// Hex editor sources are added here.
