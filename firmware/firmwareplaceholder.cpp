// Firmware commands are added here.
