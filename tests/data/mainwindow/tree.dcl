Version 3.1 written by hand for the main window's tests
second line before the marker
!!EndOfControl
OBJECT TYPE="FOLDER" NAME="Body" DELIM=;
0010 "G-BODY"
0012 "0000000000'the body'"
0007 "0000000000'first linesecond linethird line'"
2 "G-CHECK" "g-loop";
}
OBJECT TYPE="IF_TOOL" NAME="Check" DELIM=;
0010 "G-CHECK"
1 "G-FILES";
}
OBJECT TYPE="EXTERNAL_FILES" NAME="Files" DELIM=;
0010 "G-FILES"
0012 "0000000000'external'"
}
OBJECT TYPE="FOLDER" NAME="Loop" DELIM=;
0010 "G-LOOP"
2 "G-BODY" "missing link";
}
OBJECT TYPE="PROJECT" NAME="Main" DELIM=;
0010 "G-MAIN"
0012 "0000000000'zeta'"
0020 "0000000000'alpha'"
0033 "0000000000'Beta'"
0101 "0000000000'ALPHA'"
  OBJECT TYPE="VARIABLE" NAME="Counter" DELIM=;
  0010 "G-COUNTER"
  }
2 "G-BODY" "G-COUNTER";
}
