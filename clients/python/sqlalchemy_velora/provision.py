"""Hooks of SQLAlchemy's test provisioning for the velora dialect."""
from sqlalchemy.testing.provision import temp_table_keyword_args


@temp_table_keyword_args.for_db("velora")
def _velora_temp_table_keyword_args(cfg, eng):
    return {"prefixes": ["TEMPORARY"]}
