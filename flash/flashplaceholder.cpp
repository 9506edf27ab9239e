// Flash operations are added here.
