line one
line two
!!EndOfControl
OBJECT TYPE="FOLDER" NAME="Open ended" DELIM=;
0010 "G-X"
