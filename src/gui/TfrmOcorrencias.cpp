#include "gui/TfrmOcorrencias.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QSplitter>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTableView>
#include <QTableWidget>
#include <algorithm>
#include <exception>
#include <string>
#include <vector>

#include "dataset/cp1252.h"
#include "gui/ModeloOcorrencias.h"
#include "gui/dialogos.h"

namespace tolk {

namespace {

QString Texto(const char* utf8) { return QString::fromUtf8(utf8); }

// A list of a filter: "any" first, then every choice with its count. Each
// choice carries its name as the run has it (Windows-1252).
void Preenche(QComboBox* lista, const char* qualquer, const std::vector<Escolha>& escolhas,
              const std::optional<std::string>& escolhido) {
  const QSignalBlocker bloqueio(lista);
  lista->clear();
  lista->addItem(Texto(qualquer));
  for (const Escolha& e : escolhas) {
    lista->addItem(QString::fromStdString(TextoEscolha(e)), QByteArray::fromStdString(e.nome));
    if (escolhido && e.nome == *escolhido) lista->setCurrentIndex(lista->count() - 1);
  }
  // The open list is as wide as its longest choice, even when the box is narrower.
  lista->view()->setMinimumWidth(lista->view()->sizeHintForColumn(0) +
                                 lista->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
}

std::optional<std::string> Escolhido(const QComboBox* lista) {
  const QVariant nome = lista->currentData();
  if (!nome.isValid()) return std::nullopt;
  return nome.toByteArray().toStdString();
}

}  // namespace

TfrmOcorrencias::TfrmOcorrencias(const Ocorrencias& store, QWidget* parent)
    : QWidget(parent, Qt::Window), store_(store) {
  setObjectName(QStringLiteral("frmOcorrencias"));
  setWindowTitle(Texto(kTituloOcorrencias));
  // A window does not take its parent's font by itself.
  if (parent) setFont(parent->font());
  resize(kLarguraOcorrencias, kAlturaOcorrencias);
  CriaControles();
  procura_.setSingleShot(true);
  connect(&procura_, &QTimer::timeout, this, &TfrmOcorrencias::AplicaFiltro);
  AtualizaFiltros();
}

TfrmOcorrencias::~TfrmOcorrencias() = default;

void TfrmOcorrencias::CriaControles() {
  modelo = new ModeloOcorrencias(store_, this);

  // The filters' row: three lists and the search box, each after its label.
  auto* filtros = new QHBoxLayout;
  auto rotulo = [&](const char* texto, QWidget* campo) {
    auto* r = new QLabel(Texto(texto), this);
    r->setBuddy(campo);
    filtros->addWidget(r);
  };
  // Each list as wide as a long choice of its own ("classe_tarifaria (12)"),
  // the search box taking the rest; wider lists open wider than their box.
  const QFontMetrics fm = fontMetrics();
  auto lista = [&](const char* nome, const char* texto, const char* amostra) {
    auto* l = new QComboBox(this);
    l->setObjectName(QLatin1String(nome));
    l->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    l->setMinimumContentsLength(1);
    QStyleOptionComboBox opcao;
    opcao.initFrom(l);
    const QSize conteudo(fm.horizontalAdvance(QLatin1String(amostra)), fm.height());
    l->setMinimumWidth(style()->sizeFromContents(QStyle::CT_ComboBox, &opcao, conteudo, l).width());
    rotulo(texto, l);
    filtros->addWidget(l);
    filtros->addSpacing(6);
    connect(l, &QComboBox::activated, this, &TfrmOcorrencias::AplicaFiltro);
    return l;
  };
  cbTabela = lista("cbTabela", kRotuloTabela, "SINISTROS (88)");
  cbCampo = lista("cbCampo", kRotuloCampo, "VAL_SINIST (88)");
  cbRegra = lista("cbRegra", kRotuloRegra, "classe_tarifaria (12)");
  edProcura = new QLineEdit(this);
  edProcura->setObjectName(QStringLiteral("edProcura"));
  edProcura->setClearButtonEnabled(true);
  edProcura->setMinimumWidth(fm.horizontalAdvance(QLatin1Char('x')) * 16);
  rotulo(kRotuloProcura, edProcura);
  filtros->addWidget(edProcura, 1);
  connect(edProcura, &QLineEdit::textChanged, this, [this] {
    if (store_.Tamanho() <= kProcuraImediata)
      AplicaFiltro();
    else
      procura_.start(atrasoProcura);
  });

  // The rows: one line each, all of one height, so that the view places a
  // million of them without measuring any.
  grade = new QTableView(this);
  grade->setObjectName(QStringLiteral("grade"));
  grade->setModel(modelo);
  grade->setSelectionBehavior(QAbstractItemView::SelectRows);
  grade->setSelectionMode(QAbstractItemView::ExtendedSelection);
  grade->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grade->setWordWrap(false);
  grade->setAlternatingRowColors(true);
  grade->verticalHeader()->hide();
  grade->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  grade->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  QHeaderView* titulos = grade->horizontalHeader();
  titulos->setHighlightSections(false);
  titulos->setStretchLastSection(true);
  // A third click on a column's title goes back to the order found.
  titulos->setSortIndicatorClearable(true);
  titulos->setSortIndicator(-1, Qt::AscendingOrder);
  grade->setSortingEnabled(true);
  const int margem = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin) + 24;  // and the arrow
  for (const auto& [coluna, amostra] : {std::pair{Coluna::kTabela, "SINISTROS"},
                                        {Coluna::kRegistro, "Registro"},
                                        {Coluna::kCampo, "VAL_SINIST"},
                                        {Coluna::kRegra, "classe_tarifaria"},
                                        {Coluna::kValor, "XXXXXXXXXXXXXXXXXX"}})
    grade->setColumnWidth(static_cast<int>(coluna),
                          fm.horizontalAdvance(QLatin1String(amostra)) + margem);

  auto* copiar = new QAction(Texto(kCopiarOcorrencias), grade);
  copiar->setShortcuts(QKeySequence::Copy);
  copiar->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  connect(copiar, &QAction::triggered, this, &TfrmOcorrencias::Copia);
  grade->addAction(copiar);
  grade->setContextMenuPolicy(Qt::ActionsContextMenu);

  // The record pane.
  gbRegistro = new QGroupBox(this);
  gbRegistro->setObjectName(QStringLiteral("gbRegistro"));
  tbRegistro = new QTableWidget(0, 2, gbRegistro);
  tbRegistro->setObjectName(QStringLiteral("tbRegistro"));
  tbRegistro->setHorizontalHeaderLabels({Texto(kColunasOcorrencias[int(Coluna::kCampo)]),
                                         Texto(kColunasOcorrencias[int(Coluna::kValor)])});
  tbRegistro->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tbRegistro->setSelectionBehavior(QAbstractItemView::SelectRows);
  tbRegistro->setSelectionMode(QAbstractItemView::SingleSelection);
  tbRegistro->setWordWrap(false);
  tbRegistro->verticalHeader()->hide();
  tbRegistro->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  tbRegistro->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  tbRegistro->horizontalHeader()->setStretchLastSection(true);
  tbRegistro->horizontalHeader()->setHighlightSections(false);
  tbRegistro->setColumnWidth(0, fm.horizontalAdvance(QStringLiteral("VAL_SINIST")) + margem);
  lbIlegivel = new QLabel(gbRegistro);
  lbIlegivel->setObjectName(QStringLiteral("lbIlegivel"));
  lbIlegivel->setWordWrap(true);
  lbIlegivel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lbIlegivel->setTextInteractionFlags(Qt::TextSelectableByMouse);
  lbIlegivel->hide();
  auto* registro = new QVBoxLayout(gbRegistro);
  registro->addWidget(tbRegistro);
  registro->addWidget(lbIlegivel);

  auto* divisao = new QSplitter(Qt::Vertical, this);
  divisao->setChildrenCollapsible(false);
  divisao->addWidget(grade);
  divisao->addWidget(gbRegistro);
  divisao->setStretchFactor(0, 3);
  divisao->setStretchFactor(1, 2);

  lbContagem = new QLabel(this);
  lbContagem->setObjectName(QStringLiteral("lbContagem"));
  btnExporta = new QPushButton(style()->standardIcon(QStyle::SP_DialogSaveButton),
                               Texto(kBotaoExportaOcorrencias), this);
  btnExporta->setObjectName(QStringLiteral("btnExporta"));
  btnExporta->setToolTip(Texto(kDicaExportaOcorrencias));
  connect(btnExporta, &QPushButton::clicked, this, &TfrmOcorrencias::btnExportaClick);
  auto* base = new QHBoxLayout;
  base->addWidget(lbContagem, 1);
  base->addWidget(btnExporta);

  auto* janela = new QVBoxLayout(this);
  janela->addLayout(filtros);
  janela->addWidget(divisao, 1);
  janela->addLayout(base);

  SaveDialog = new DialogoExportacao(
      this, Texto(kTituloExportacaoOcorrencias), Texto(kExtensaoOcorrencias),
      [this](const QString& path) { return !podeGravar || podeGravar(path); });
  SaveDialog->setObjectName(QStringLiteral("SaveDialog"));

  // The selected finding stays selected when the rows are sorted or
  // filtered again, if it passes the filter.
  connect(modelo, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
    const QModelIndex atual = grade->currentIndex();
    selecionado_.reset();
    if (atual.isValid()) selecionado_ = modelo->Indice(atual.row());
  });
  connect(modelo, &QAbstractItemModel::modelReset, this, [this] {
    const auto linha = selecionado_ ? modelo->Visao().LinhaDe(*selecionado_) : std::nullopt;
    selecionado_.reset();
    if (linha) {
      const QModelIndex i = modelo->index(static_cast<int>(*linha), 0);
      grade->selectionModel()->setCurrentIndex(
          i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
      grade->scrollTo(i, QAbstractItemView::PositionAtCenter);
    }
    MostraRegistro();
  });
  connect(grade->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          &TfrmOcorrencias::MostraRegistro);
}

// --- Filters ---------------------------------------------------------------

void TfrmOcorrencias::Recarrega() {
  // The entry numbers of the last store mean nothing in this one.
  grade->selectionModel()->clear();
  modelo->Recarrega();
  AtualizaFiltros();
}

void TfrmOcorrencias::Filtra(const FiltroOcorrencias& filtro) {
  procura_.stop();
  {
    const QSignalBlocker bloqueio(edProcura);
    edProcura->setText(QString::fromStdString(Cp1252ToUtf8(filtro.texto)));
  }
  modelo->Filtra(filtro);
  AtualizaFiltros();
}

FiltroOcorrencias TfrmOcorrencias::FiltroEscolhido() const {
  FiltroOcorrencias f;
  f.tabela = Escolhido(cbTabela);
  f.campo = Escolhido(cbCampo);
  f.regra = Escolhido(cbRegra);
  f.texto = Utf8ToCp1252(edProcura->text().toStdString());
  return f;
}

void TfrmOcorrencias::AplicaFiltro() {
  procura_.stop();
  modelo->Filtra(FiltroEscolhido());
  AtualizaFiltros();
}

void TfrmOcorrencias::AtualizaFiltros() {
  const VisaoOcorrencias& v = modelo->Visao();
  Preenche(cbTabela, kQualquerTabela, v.Tabelas(), v.Filtro().tabela);
  Preenche(cbCampo, kQualquerCampo, v.Campos(), v.Filtro().campo);
  Preenche(cbRegra, kQualquerRegra, v.Regras(), v.Filtro().regra);
  lbContagem->setText(
      QString::fromStdString(TextoContagem(v.Linhas(), store_.Tamanho(), regional)));
  btnExporta->setEnabled(!store_.Vazia());
}

// --- The record ------------------------------------------------------------

void TfrmOcorrencias::MostraRegistro() {
  tbRegistro->setRowCount(0);
  lbIlegivel->hide();
  tbRegistro->show();
  const QModelIndex atual = grade->currentIndex();
  if (!atual.isValid()) {
    // A blank title keeps the pane's place: without one the frame moves up.
    gbRegistro->setTitle(QStringLiteral(" "));
    return;
  }
  const std::size_t i = modelo->Indice(atual.row());
  gbRegistro->setTitle(QString::fromStdString(TituloRegistro(i, store_)));
  std::vector<CampoDoRegistro> campos;
  try {
    campos = LeRegistro(std::string(store_.Arquivo(i)), store_.Registro(i));
  } catch (const std::exception& e) {
    lbIlegivel->setText(QString::fromStdString(RegistroIlegivel(e)));
    tbRegistro->hide();
    lbIlegivel->show();
    return;
  }
  tbRegistro->setRowCount(static_cast<int>(campos.size()));
  int recusado = -1;
  for (int k = 0; k < static_cast<int>(campos.size()); ++k) {
    const CampoDoRegistro& c = campos[static_cast<std::size_t>(k)];
    auto* nome = new QTableWidgetItem(QString::fromStdString(Cp1252ToUtf8(c.nome)));
    auto* valor = new QTableWidgetItem(QString::fromStdString(Cp1252ToUtf8(c.texto)));
    // Both names come from the same file's header.
    if (recusado < 0 && c.nome == store_.Campo(i)) {
      recusado = k;
      QFont negrito = tbRegistro->font();
      negrito.setBold(true);
      nome->setFont(negrito);
      valor->setFont(negrito);
    }
    tbRegistro->setItem(k, 0, nome);
    tbRegistro->setItem(k, 1, valor);
  }
  if (recusado >= 0) {
    tbRegistro->selectRow(recusado);
    tbRegistro->scrollToItem(tbRegistro->item(recusado, 0), QAbstractItemView::PositionAtCenter);
  }
}

// --- Clipboard and export --------------------------------------------------

void TfrmOcorrencias::Copia() {
  std::vector<std::pair<int, int>> faixas;
  for (const QItemSelectionRange& r : grade->selectionModel()->selection())
    faixas.emplace_back(r.top(), r.bottom());
  if (faixas.empty()) return;
  // The rows as they are shown, whatever the order they were picked in.
  std::sort(faixas.begin(), faixas.end());
  std::vector<std::size_t> indices;
  int proxima = 0;
  for (const auto& [topo, base] : faixas) {
    for (int linha = std::max(topo, proxima); linha <= base; ++linha)
      indices.push_back(modelo->Indice(linha));
    proxima = std::max(proxima, base + 1);
  }
  const char separador = SeparadorCsv(regional.DecimalSeparator);
  QApplication::clipboard()->setText(
      QString::fromStdString(CsvDasOcorrencias(store_, indices, separador)));
}

void TfrmOcorrencias::btnExportaClick() {
  if (SaveDialog->exec() != QDialog::Accepted) return;
  const QStringList files = SaveDialog->selectedFiles();
  // A dialog of the desktop's own closes without asking this window first.
  if (files.isEmpty() || (podeGravar && !podeGravar(files.first()))) return;
  QSaveFile file(files.first());
  file.setDirectWriteFallback(true);
  bool gravou = file.open(QIODevice::WriteOnly);
  if (gravou)
    GravaCsv(store_, SeparadorCsv(regional.DecimalSeparator), [&](std::string_view bloco) {
      const auto n = static_cast<qint64>(bloco.size());
      gravou = gravou && file.write(bloco.data(), n) == n;
    });
  if (gravou && file.commit()) return;
  MostraAviso(this, FalhaGravacao(QDir::toNativeSeparators(files.first()).toStdString(),
                                  file.errorString().toStdString()));
}

}  // namespace tolk
