// Adapter backends are added here.
