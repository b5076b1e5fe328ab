# R's RODBC against velora-server through unixODBC, as an R user writes it:
# connect to the data source, sqlQuery, sqlSave of a data frame (RODBC
# creates the table from the driver's type information, then inserts with
# parameters), sqlFetch back, non-ASCII text both ways, a server error.
# Run by run_with_server.sh, which sets VELORA_DSN.
suppressPackageStartupMessages(library(RODBC))
failures <- character(0)
check <- function(what, got, want) {
  if (!identical(got, want))
    failures <<- c(failures, sprintf("%s: got %s, want %s", what, deparse(got), deparse(want)))
}

ch <- odbcConnect(Sys.getenv("VELORA_DSN"), uid = "tester", pwd = "secret")
if (!inherits(ch, "RODBC")) stop("FAIL connect")
check("query", sqlQuery(ch, "SELECT 1 + 1 AS two")$two, 2L)

frame <- data.frame(id = 1:3, name = c("plain", "h\u00e9llo", "\u6771\u4eac"), score = c(1.5, -2, 0),
                    stringsAsFactors = FALSE)
check("save", sqlSave(ch, frame, tablename = "r_frame", rownames = FALSE), 1L)
back <- sqlQuery(ch, "SELECT id, name, score FROM r_frame ORDER BY id", stringsAsFactors = FALSE)
check("rows", back$id, frame$id)
check("text", enc2utf8(back$name), frame$name)
check("numbers", back$score, frame$score)
check("fetch", nrow(sqlFetch(ch, "r_frame")), 3L)
check("literal", sqlQuery(ch, "SELECT name FROM r_frame WHERE name = 'h\u00e9llo'",
                          stringsAsFactors = FALSE)$name, "h\u00e9llo")
error <- sqlQuery(ch, "SELECT * FROM no_such_table")
check("server error", any(grepl("no_such_table", error)), TRUE)
odbcClose(ch)

if (length(failures)) {
  cat(paste0("FAIL ", failures, "\n"), sep = "", file = stderr())
  quit(status = 1)
}
cat("RODBC client: OK\n")
