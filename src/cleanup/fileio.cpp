// Placeholder for the file-operation seam.
