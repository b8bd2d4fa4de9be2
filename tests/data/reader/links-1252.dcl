xVersion 5.2.1 build 7
Written by hand for the reader's tests
!!EndOfControl
lines between blocks are skipped
OBJECT TYPE="Plain" NAME="Café" DELIM=;
0010 "G-CAFE"
0012 "first value"
  OBJECT TYPE="Plain" NAME="Nested" DELIM=;
  0010 "G-NESTED"
  }
  OBJECT TYPE="PropertyCollection" NAME="pc" DELIM=;
  {
  0040 "from the collection"
  }
1 "g-menu";
}
OBJECT TYPE="Plain" NAME="Menu" DELIM=;
0010 "G-MENU"
2 "G-CAFE" "missing";
}
