# SQLAlchemy's pytest plugin, with the dialect registered from the source tree.
import pytest
from sqlalchemy.dialects import registry

registry.register("velora", "sqlalchemy_velora.pyodbc", "VeloraDialect_pyodbc")
registry.register("velora.pyodbc", "sqlalchemy_velora.pyodbc", "VeloraDialect_pyodbc")
pytest.register_assert_rewrite("sqlalchemy.testing.assertions")

from sqlalchemy.testing.plugin.pytestplugin import *  # noqa: E402,F401,F403
